#include "VerificationReport.h"

#include "CorruptedFrame.h"

#include <algorithm>

namespace {

std::string RangeText(const FrameRange& range)
{
    if (range.first == range.last)
        return GroupedDigits(range.first);
    return GroupedDigits(range.first) + " to " + GroupedDigits(range.last);
}

std::string Hex(int value)
{
    char text[8];
    snprintf(text, sizeof(text), "0x%02X", value);
    return text;
}

// "3 bytes differ, the first at byte 12,345 (row 8, column 7)"; the first is named only
// when there is one.
std::string DifferenceText(const FrameMatch& match)
{
    if (!match.differingBytes)
        return "no byte differs";
    return CountText(match.differingBytes, "byte differs", "bytes differ") + ", the first at byte "
           + GroupedDigits(match.firstDifference) + " (row " + std::to_string(match.row)
           + ", column " + std::to_string(match.column) + ")";
}

// What a frame that matches no frame of the stream is, held against the frame expected.
std::string UnmatchedText(const FrameMatch& match)
{
    // A frame that reaches no probe was held against no frame but the one expected: what
    // its bytes hold says nothing of which frame they come from.
    std::string text;
    if (match.tooShortToFind) {
        text = "too few bytes to find its number";
    } else {
        const uint64_t lowest =
            match.number > FrameSearchBound ? match.number - FrameSearchBound : 0;
        text = "matches no frame from " + GroupedDigits(lowest) + " to "
               + GroupedDigits(match.number + FrameSearchBound);
    }
    if (match.comparedBytes)
        text += "; against frame " + GroupedDigits(match.number) + ", " + DifferenceText(match);
    return text;
}

// What is wrong with the bytes of a recognised frame; empty when nothing is.
std::string ChangesText(const FrameMatch& match)
{
    std::string text;
    if (match.rowsReversed)
        text += ", its rows in reverse order";
    if (match.fourthBytesChanged) {
        text += ", the fourth bytes of " + GroupedDigits(match.changedFourthBytes) + " of "
                + GroupedDigits(match.comparedBytes / 4) + " pixels changed";
        if (match.fourthByteValue >= 0)
            text += " (every fourth byte is " + Hex(match.fourthByteValue) + ")";
    }
    if (match.differingBytes)
        text += ", " + DifferenceText(match);
    return text;
}

std::string NumbersText(uint64_t count, const std::vector<uint64_t>& numbers)
{
    if (!count)
        return "none";
    std::string text = CountText(count, "frame", "frames") + ":";
    for (size_t i = 0; i < numbers.size(); ++i)
        text += (i ? ", " : " ") + GroupedDigits(numbers[i]);
    if (count > numbers.size())
        text += " and " + GroupedDigits(count - numbers.size()) + " more";
    return text;
}

uint64_t FramesIn(const std::vector<FrameRange>& ranges)
{
    uint64_t count = 0;
    for (const FrameRange& range : ranges)
        count += range.last - range.first + 1;
    return count;
}

// "7 to 9, 11 and 3 more runs": the first ListedNumbers runs.
std::string RangesText(const std::vector<FrameRange>& ranges)
{
    std::string text;
    for (size_t i = 0; i < ranges.size() && i < ListedNumbers; ++i)
        text += (i ? ", " : "") + RangeText(ranges[i]);
    if (ranges.size() > ListedNumbers)
        text += " and " + CountText(ranges.size() - ListedNumbers, "more run", "more runs");
    return text;
}

// "none by the camera" or "2 frames by the camera, as the scenario says: 5, 17", then the
// same of the host.
std::string ByWhomText(uint64_t cameraCount, const std::string& cameraList, uint64_t hostCount,
                       const std::string& hostList)
{
    const std::string camera = cameraCount
                                   ? CountText(cameraCount, "frame", "frames")
                                         + " by the camera, as the scenario says: " + cameraList
                                   : "none by the camera";
    const std::string host =
        hostCount ? CountText(hostCount, "frame", "frames") + " by the host: " + hostList
                  : "none by the host";
    return camera + "; " + host;
}

// The numbers alone, as NumbersText lists them after its count.
std::string ListText(uint64_t count, const std::vector<uint64_t>& numbers)
{
    const std::string text = NumbersText(count, numbers);
    return text.substr(text.find(':') + 2);
}

void Remember(uint64_t number, uint64_t* count, std::vector<uint64_t>* numbers)
{
    ++*count;
    if (numbers->size() < ListedNumbers)
        numbers->push_back(number);
}

std::string ScenarioLine(const FaultScenario& scenario, const std::string& origin)
{
    char text[MaxScenarioTextBytes];
    std::string line = scenario.IsEmpty()                    ? "none: every frame once, as made"
                       : scenario.Format(text, sizeof(text)) ? text
                                                             : "(too long to write out)";
    if (!origin.empty())
        line += " (" + origin + ")";
    return line;
}

}    // namespace

std::string GroupedDigits(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(size_t(at), ",");
    return digits;
}

std::string CountText(uint64_t count, const char* one, const char* many)
{
    return GroupedDigits(count) + " " + (count == 1 ? one : many);
}

VerificationReport::VerificationReport(bool fromStreamStart)
    : fromStreamStart(fromStreamStart), scenarioGiven(false), faultless(true)
{
    sent.First(&expected, &endAfterLast);
}

VerificationReport::VerificationReport(bool fromStreamStart, const FaultScenario& scenario,
                                       const std::string& origin)
    : fromStreamStart(fromStreamStart), sent(scenario), scenarioGiven(true),
      faultless(scenario.IsEmpty()), scenarioLine(ScenarioLine(scenario, origin))
{
    if (!sent.First(&expected, &endAfterLast))
        expected = SentFrame{};
}

bool VerificationReport::ScenarioCorrupts(uint64_t number) const
{
    return !faultless && sent.Scenario().FateOf(LONGLONG(number)).corrupted;
}

void VerificationReport::Add(const FrameMatch& match, const FramePlace& place,
                             bool changedAsCorruptSays)
{
    const uint64_t position = checked++;
    std::string description;
    std::string sequence;
    bool asSent = match.Exact();
    if (match.recognised) {
        unmatchedInARow = 0;
        sequence = TakeNumber(match.number);
        const std::string changes = TakeChanges(match, changedAsCorruptSays);
        asSent = changes.empty() && !match.truncated;
        description = "frame " + GroupedDigits(match.number) + sequence + changes;
    } else {
        ++unmatched;
        ++unmatchedInARow;
        TakeUnmatched();
        description = UnmatchedText(match);
    }
    if (match.truncated) {
        ++truncated;
        description +=
            "; truncated, " + CountText(match.comparedBytes, "byte", "bytes") + " of a frame";
    }
    if (match.Exact())
        ++exact;
    if (!asSent || !sequence.empty())
        Note(position, place, description);
}

std::string VerificationReport::TakeChanges(const FrameMatch& match, bool changedAsCorruptSays)
{
    const uint64_t number = match.number;
    std::string text;
    if (ScenarioCorrupts(number)) {
        if (changedAsCorruptSays) {
            // The bytes that differ are the camera's change; only the named changes and a
            // cut are the host's.
            FrameMatch hostChanges = match;
            hostChanges.differingBytes = 0;
            text = ChangesText(hostChanges);
            if (text.empty()) {
                if (!match.truncated)
                    Remember(number, &cameraChangeCount, &cameraChanges);
                return text;
            }
            text = ", changed as the scenario says, and" + text.substr(1);
        } else if (!match.differingBytes) {
            Remember(number, &notSentCount, &notSent);
            return ", whole, though the scenario corrupts it: the camera never sends it so"
                   + ChangesText(match);
        } else {
            text = ", not as the scenario changes it" + ChangesText(match);
        }
    } else {
        text = ChangesText(match);
    }
    if (text.empty())
        return text;
    if (match.rowsReversed && sent.Scenario().BottomUp()) {
        const std::string reversed = "its rows in reverse order";
        text.insert(text.find(reversed) + reversed.size(),
                    " (the host did not turn the camera's bottom-up frames top-down)");
    }
    if (match.differingBytes && !(ScenarioCorrupts(number) && changedAsCorruptSays))
        ++differing;
    else
        ++changed;
    Remember(number, &hostChangeCount, &hostChanges);
    return text;
}

void VerificationReport::ExpectAfter(const SentFrame& frame)
{
    // Past a stream that sends nothing more, the search starts one after the frame.
    if (!sent.Next(frame, &expected, &endAfterLast))
        expected = SentFrame{frame.number + 1, false};
    else
        endAfterLast = FrameFate{};
}

void VerificationReport::TakeUnmatched()
{
    // The frame took a place in the stream all the same.
    ExpectAfter(expected);
}

std::string VerificationReport::TakeNumber(uint64_t number)
{
    if (expected.copy && number == expected.number) {
        // The repeat the scenario makes, right after its frame.
        Remember(number, &cameraRepeatCount, &cameraRepeats);
        lastNumber = number;
        ExpectAfter(expected);
        return "";
    }
    std::string sequence;
    SentFrame taken{number, false};
    auto run = received.upper_bound(number);
    if (run != received.begin() && std::prev(run)->second >= number) {
        sequence = ", again";
        Remember(number, &repeatCount, &repeats);
        taken.copy = true;    // a frame that came before brings no repeat of its own
    } else {
        SentFrame between;
        if (anyRecognised && number < highestNumber) {
            sequence = ", out of order after frame " + GroupedDigits(lastNumber);
            Remember(number, &outOfOrderCount, &outOfOrder);
        } else if (anyRecognised && number > highestNumber + 1 && number != expected.number
                   && sent.FirstFrom(highestNumber + 1, &between) && between.number < number) {
            // Frames that matched none since the last have taken the numbers between, and
            // the camera's drops leave gaps of their own.
            sequence = ", after frame " + GroupedDigits(lastNumber);
        } else if (!anyRecognised && fromStreamStart && number > expected.number) {
            // Frames that matched none may have come before it and taken the first numbers.
            sequence = checked > 1 ? ", the first recognised" : ", the first received";
        }
        // Join the runs on either side when the number closes a gap.
        uint64_t first = number;
        uint64_t last = number;
        if (run != received.end() && run->first == number + 1) {
            last = run->second;
            run = received.erase(run);
        }
        if (run != received.begin() && std::prev(run)->second + 1 == number) {
            first = std::prev(run)->first;
            received.erase(std::prev(run));
        }
        received[first] = last;
    }
    if (!sent.Sends(number)) {
        const FrameFate fate = sent.Scenario().FateOf(LONGLONG(number));
        sequence += fate.end != StreamEnd::None
                        ? ", after the end the scenario gives the stream: the camera never sends it"
                        : ", which the scenario drops: the camera never sends it";
        Remember(number, &notSentCount, &notSent);
    }
    if (expected.copy) {
        sequence += "; frame " + GroupedDigits(expected.number) + "'s repeat never came";
        Remember(expected.number, &lostCopyCount, &lostCopies);
    }
    if (!anyRecognised)
        firstNumber = number;
    highestNumber = anyRecognised ? std::max(highestNumber, number) : number;
    anyRecognised = true;
    lastNumber = number;
    ExpectAfter(taken);
    return sequence;
}

void VerificationReport::Note(uint64_t position, const FramePlace& place,
                              const std::string& description)
{
    ++troubleCount;
    if (troubles.size() >= ListedTroubles)
        return;
    std::string line = "#" + GroupedDigits(position);
    if (!place.source.empty()) {
        line += " (" + place.source;
        if (place.hasOffset)
            line += ", byte " + GroupedDigits(place.byteOffset);
        line += ")";
    }
    troubles.push_back(line + ": " + description);
}

std::vector<FrameRange> VerificationReport::Dropped() const
{
    std::vector<FrameRange> dropped;
    if (received.empty())
        return dropped;
    uint64_t next = fromStreamStart ? 0 : received.begin()->first;
    for (const auto& run : received) {
        if (run.first > next)
            dropped.push_back({next, run.first - 1});
        next = run.second + 1;
    }
    return dropped;
}

void VerificationReport::SplitDropped(std::vector<FrameRange>* byCamera,
                                      std::vector<FrameRange>* byHost) const
{
    for (const FrameRange& range : Dropped()) {
        if (faultless) {
            byHost->push_back(range);
            continue;
        }
        for (uint64_t first = range.first; first <= range.last;) {
            const bool camera = !sent.Sends(first);
            uint64_t last = first;
            while (last < range.last && !sent.Sends(last + 1) == camera)
                ++last;
            (camera ? byCamera : byHost)->push_back({first, last});
            first = last + 1;
        }
    }
}

uint64_t VerificationReport::HostDropCount() const
{
    std::vector<FrameRange> byCamera;
    std::vector<FrameRange> byHost;
    SplitDropped(&byCamera, &byHost);
    return FramesIn(byHost) + lostCopyCount;
}

bool VerificationReport::FramesExactAndConsecutive() const
{
    return checked > 0 && exact + cameraChangeCount == checked && !repeatCount && !outOfOrderCount
           && !notSentCount && HostDropCount() == 0;
}

bool VerificationReport::EndedAsTheScenarioSays(StreamEnd end, HRESULT abortResult) const
{
    return end != StreamEnd::None && endAfterLast.end == end
           && (end != StreamEnd::Abort || endAfterLast.abortResult == abortResult);
}

bool VerificationReport::AllExactAndConsecutive() const
{
    return unverified.empty() && FramesExactAndConsecutive();
}

void VerificationReport::PrintScenarioSummary(FILE* out, const char* indent) const
{
    std::vector<FrameRange> byCamera;
    std::vector<FrameRange> byHost;
    SplitDropped(&byCamera, &byHost);
    std::string hostDrops = RangesText(byHost);
    if (lostCopyCount)
        hostDrops += std::string(byHost.empty() ? "" : ", ")
                     + (lostCopyCount == 1 ? "the repeat of " : "the repeats of ")
                     + ListText(lostCopyCount, lostCopies);
    fprintf(out, "%sDropped:       %s\n", indent,
            ByWhomText(FramesIn(byCamera), RangesText(byCamera), FramesIn(byHost) + lostCopyCount,
                       hostDrops)
                .c_str());
    fprintf(out, "%sRepeated:      %s\n", indent,
            ByWhomText(cameraRepeatCount, ListText(cameraRepeatCount, cameraRepeats), repeatCount,
                       ListText(repeatCount, repeats))
                .c_str());
    fprintf(out, "%sChanged:       %s\n", indent,
            ByWhomText(cameraChangeCount, ListText(cameraChangeCount, cameraChanges),
                       hostChangeCount, ListText(hostChangeCount, hostChanges))
                .c_str());
    fprintf(out, "%sOut of order:  %s\n", indent, NumbersText(outOfOrderCount, outOfOrder).c_str());
    if (notSentCount)
        fprintf(out,
                "%sNot sent:      %s came that the camera does not send under this scenario: %s; "
                "the capture was not made under it\n",
                indent, CountText(notSentCount, "frame", "frames").c_str(),
                ListText(notSentCount, notSent).c_str());
}

void VerificationReport::Print(FILE* out, const char* indent) const
{
    for (const std::string& trouble : troubles)
        fprintf(out, "%s  %s\n", indent, trouble.c_str());
    if (troubleCount > troubles.size())
        fprintf(out, "%s  ... and %s not exact or not in order\n", indent,
                CountText(troubleCount - troubles.size(), "more frame", "more frames").c_str());

    if (scenarioGiven)
        fprintf(out, "%sScenario:      %s\n", indent, scenarioLine.c_str());
    std::string frames = CountText(checked, "frame", "frames") + ": ";
    std::string kinds;
    for (const auto& kind :
         {std::make_pair(exact, "exact"),
          std::make_pair(cameraChangeCount, "as the scenario changed it"),
          std::make_pair(changed, "changed"), std::make_pair(differing, "with bytes that differ"),
          std::make_pair(unmatched, "matching no frame"), std::make_pair(truncated, "truncated")})
        if (kind.first || kind.second == std::string("exact"))
            kinds += (kinds.empty() ? "" : ", ") + GroupedDigits(kind.first) + " " + kind.second;
    fprintf(out, "%sVerified:      %s%s\n", indent, frames.c_str(), kinds.c_str());
    if (anyRecognised)
        fprintf(out, "%sFrame numbers: first %s, last %s\n", indent,
                GroupedDigits(firstNumber).c_str(), GroupedDigits(lastNumber).c_str());
    else
        fprintf(out, "%sFrame numbers: none recognised\n", indent);

    if (!anyRecognised) {
        // Drops, repeats, changes and order are all told by frame numbers, and none is known.
        const char* unknown = "unknown: no frame recognised";
        fprintf(out, "%sDropped:       %s\n", indent, unknown);
        fprintf(out, "%sRepeated:      %s\n", indent, unknown);
        if (scenarioGiven)
            fprintf(out, "%sChanged:       %s\n", indent, unknown);
        fprintf(out, "%sOut of order:  %s\n", indent, unknown);
    } else if (scenarioGiven) {
        PrintScenarioSummary(out, indent);
    } else {
        const std::vector<FrameRange> dropped = Dropped();
        const std::string droppedText =
            dropped.empty()
                ? "none"
                : CountText(FramesIn(dropped), "frame", "frames") + ": " + RangesText(dropped);
        fprintf(out, "%sDropped:       %s\n", indent, droppedText.c_str());
        fprintf(out, "%sRepeated:      %s\n", indent, NumbersText(repeatCount, repeats).c_str());
        fprintf(out, "%sOut of order:  %s\n", indent,
                NumbersText(outOfOrderCount, outOfOrder).c_str());
    }
    const bool framesGood = FramesExactAndConsecutive();
    const char* result =
        framesGood ? "every frame exact and consecutive" : "NOT every frame exact and consecutive";
    if (scenarioGiven)
        result = framesGood     ? "exactly what the camera sent under the scenario"
                 : notSentCount ? "NOT a capture made under this scenario: frames came that the "
                                  "camera does not send under it"
                                : "NOT exactly what the camera sent under the scenario";
    if (!unverified.empty()) {
        fprintf(out, "%sNot verified:  %s\n", indent, unverified.c_str());
        if (scenarioGiven)
            result = framesGood ? "NOT complete: the frames verified are what the camera sent, "
                                  "but not every frame was verified"
                                : "NOT exactly what the camera sent, and not every frame was "
                                  "verified";
        else
            result = framesGood ? "NOT complete: the frames verified are exact and consecutive, "
                                  "but not every frame was verified"
                                : "NOT every frame exact and consecutive, and not every frame "
                                  "was verified";
    }
    fprintf(out, "%sResult:        %s\n", indent, result);
}

void VerifyNextFrame(FrameVerifier& verifier, VerificationReport& report, const BYTE* frame,
                     size_t bytes, const FramePlace& place)
{
    const FrameMatch match = verifier.Verify(frame, bytes, report.ExpectedNext());
    const bool changedAsCorruptSays = match.recognised && match.differingBytes
                                      && report.ScenarioCorrupts(match.number)
                                      && ChangedAsCorruptSays(verifier, frame, bytes, match);
    report.Add(match, place, changedAsCorruptSays);
}
