#include "VerificationReport.h"

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
    // Every colour byte the probes read agrees with the frame expected when no byte
    // differs, so had the frame reached any probe it would have been recognised.
    std::string text;
    if (!match.differingBytes) {
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

void VerificationReport::Add(const FrameMatch& match, const FramePlace& place)
{
    const uint64_t position = checked++;
    std::string description;
    std::string sequence;
    if (match.recognised) {
        unmatchedInARow = 0;
        sequence = TakeNumber(match.number);
        description = "frame " + GroupedDigits(match.number) + sequence + ChangesText(match);
        if (match.differingBytes)
            ++differing;
        else if (match.rowsReversed || match.fourthBytesChanged)
            ++changed;
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
    if (!match.Exact() || !sequence.empty())
        Note(position, place, description);
}

void VerificationReport::TakeUnmatched()
{
    // The frame took a place in the stream all the same.
    ++expectedNext;
}

std::string VerificationReport::TakeNumber(uint64_t number)
{
    std::string sequence;
    auto run = received.upper_bound(number);
    if (run != received.begin() && std::prev(run)->second >= number) {
        sequence = ", again";
        if (repeats.size() < ListedNumbers)
            repeats.push_back(number);
        ++repeatCount;
    } else {
        if (anyRecognised && number < highestNumber) {
            sequence = ", out of order after frame " + GroupedDigits(lastNumber);
            if (outOfOrder.size() < ListedNumbers)
                outOfOrder.push_back(number);
            ++outOfOrderCount;
        } else if (anyRecognised && number > highestNumber + 1 && number != expectedNext) {
            // Frames that matched none since the last have taken the numbers between.
            sequence = ", after frame " + GroupedDigits(lastNumber);
        } else if (!anyRecognised && fromStreamStart && number > expectedNext) {
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
    if (!anyRecognised)
        firstNumber = number;
    highestNumber = anyRecognised ? std::max(highestNumber, number) : number;
    anyRecognised = true;
    lastNumber = number;
    expectedNext = number + 1;
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

bool VerificationReport::FramesExactAndConsecutive() const
{
    return checked > 0 && exact == checked && !repeatCount && !outOfOrderCount && Dropped().empty();
}

bool VerificationReport::AllExactAndConsecutive() const
{
    return unverified.empty() && FramesExactAndConsecutive();
}

void VerificationReport::Print(FILE* out, const char* indent) const
{
    for (const std::string& trouble : troubles)
        fprintf(out, "%s  %s\n", indent, trouble.c_str());
    if (troubleCount > troubles.size())
        fprintf(out, "%s  ... and %s not exact or not in order\n", indent,
                CountText(troubleCount - troubles.size(), "more frame", "more frames").c_str());

    std::string frames = CountText(checked, "frame", "frames") + ": ";
    std::string kinds;
    for (const auto& kind :
         {std::make_pair(exact, "exact"), std::make_pair(changed, "changed"),
          std::make_pair(differing, "with bytes that differ"),
          std::make_pair(unmatched, "matching no frame"), std::make_pair(truncated, "truncated")})
        if (kind.first || kind.second == std::string("exact"))
            kinds += (kinds.empty() ? "" : ", ") + GroupedDigits(kind.first) + " " + kind.second;
    fprintf(out, "%sVerified:      %s%s\n", indent, frames.c_str(), kinds.c_str());
    if (anyRecognised)
        fprintf(out, "%sFrame numbers: first %s, last %s\n", indent,
                GroupedDigits(firstNumber).c_str(), GroupedDigits(lastNumber).c_str());
    else
        fprintf(out, "%sFrame numbers: none recognised\n", indent);

    const std::vector<FrameRange> dropped = Dropped();
    std::string droppedText = "none";
    if (!dropped.empty()) {
        uint64_t count = 0;
        for (const FrameRange& range : dropped)
            count += range.last - range.first + 1;
        droppedText = CountText(count, "frame", "frames") + ":";
        for (size_t i = 0; i < dropped.size() && i < ListedNumbers; ++i)
            droppedText += (i ? ", " : " ") + RangeText(dropped[i]);
        if (dropped.size() > ListedNumbers)
            droppedText +=
                " and " + CountText(dropped.size() - ListedNumbers, "more run", "more runs");
    }
    fprintf(out, "%sDropped:       %s\n", indent, droppedText.c_str());
    fprintf(out, "%sRepeated:      %s\n", indent, NumbersText(repeatCount, repeats).c_str());
    fprintf(out, "%sOut of order:  %s\n", indent, NumbersText(outOfOrderCount, outOfOrder).c_str());
    const bool framesGood = FramesExactAndConsecutive();
    const char* result =
        framesGood ? "every frame exact and consecutive" : "NOT every frame exact and consecutive";
    if (!unverified.empty()) {
        fprintf(out, "%sNot verified:  %s\n", indent, unverified.c_str());
        result = framesGood ? "NOT complete: the frames verified are exact and consecutive, but "
                              "not every frame was verified"
                            : "NOT every frame exact and consecutive, and not every frame was "
                              "verified";
    }
    fprintf(out, "%sResult:        %s\n", indent, result);
}
