// The report on a sequence of frames: which numbers were dropped, repeated or came out of
// order, and when a capture counts as exact and consecutive.
#include "verify/VerificationReport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

FrameMatch ExactFrame(uint64_t number)
{
    FrameMatch match;
    match.recognised = true;
    match.number = number;
    match.comparedBytes = 589824;
    return match;
}

FaultScenario ScenarioOf(const char* text)
{
    FaultScenario scenario;
    char problem[ScenarioProblemBytes];
    EXPECT_TRUE(FaultScenario::Parse(text, &scenario, problem)) << problem;
    return scenario;
}

VerificationReport ReportOf(const std::vector<uint64_t>& numbers, bool fromStreamStart)
{
    VerificationReport report(fromStreamStart);
    for (uint64_t number : numbers)
        report.Add(ExactFrame(number), FramePlace{});
    return report;
}

std::string Printed(const VerificationReport& report)
{
    char path[MAX_PATH] = {};
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "rep", 0, path);
    FILE* file = fopen(path, "w+");
    report.Print(file);
    std::string text;
    rewind(file);
    for (int character = fgetc(file); character != EOF; character = fgetc(file))
        text += char(character);
    fclose(file);
    DeleteFileA(path);
    return text;
}

std::vector<std::pair<uint64_t, uint64_t>> DroppedOf(const VerificationReport& report)
{
    std::vector<std::pair<uint64_t, uint64_t>> dropped;
    for (const FrameRange& range : report.Dropped())
        dropped.emplace_back(range.first, range.last);
    return dropped;
}

TEST(VerificationReport, TellsDroppedRepeatedAndReorderedFramesApart)
{
    // 2 and 3 swapped, 5 repeated, 7 to 9 and 11 dropped.
    const VerificationReport report = ReportOf({0, 1, 3, 2, 4, 5, 5, 6, 10, 12}, false);
    EXPECT_FALSE(report.AllExactAndConsecutive());
    EXPECT_EQ(DroppedOf(report), (std::vector<std::pair<uint64_t, uint64_t>>{{7, 9}, {11, 11}}));
    EXPECT_EQ(Printed(report), "  #2: frame 3, after frame 1\n"
                               "  #3: frame 2, out of order after frame 3\n"
                               "  #6: frame 5, again\n"
                               "  #8: frame 10, after frame 6\n"
                               "  #9: frame 12, after frame 10\n"
                               "Verified:      10 frames: 10 exact\n"
                               "Frame numbers: first 0, last 12\n"
                               "Dropped:       4 frames: 7 to 9, 11\n"
                               "Repeated:      1 frame: 5\n"
                               "Out of order:  1 frame: 2\n"
                               "Result:        NOT every frame exact and consecutive\n");
}

TEST(VerificationReport, CountsFramesBeforeTheFirstAsDroppedOnlyFromTheStreamStart)
{
    EXPECT_TRUE(ReportOf({3, 4}, false).AllExactAndConsecutive());
    EXPECT_FALSE(ReportOf({}, false).AllExactAndConsecutive());    // nothing was verified
    const VerificationReport fromStart = ReportOf({3, 4}, true);
    EXPECT_FALSE(fromStart.AllExactAndConsecutive());
    EXPECT_EQ(DroppedOf(fromStart), (std::vector<std::pair<uint64_t, uint64_t>>{{0, 2}}));
}

TEST(VerificationReport, ListsTheFirstTroublesAndCountsTheRest)
{
    std::vector<uint64_t> everyOther;
    for (uint64_t number = 0; number < 2 * (ListedTroubles + 10); number += 2)
        everyOther.push_back(number);
    const VerificationReport report = ReportOf(everyOther, false);
    const std::string printed = Printed(report);
    EXPECT_NE(printed.find("  #50: frame 100, after frame 98\n  ... and 9 more frames not exact "
                           "or not in order\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Dropped:       59 frames: 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, "
                           "25, 27, 29, 31, 33, 35, 37, 39 and 39 more runs\n"),
              std::string::npos)
        << printed;
}

TEST(VerificationReport, NamesOnlyTheDifferencesThatExistAndCountsInTheRightNumber)
{
    std::vector<uint64_t> everyOther;
    for (uint64_t number = 0; number < 2 * (ListedTroubles + 2); number += 2)
        everyOther.push_back(number);
    EXPECT_NE(Printed(ReportOf(everyOther, false))
                  .find("  ... and 1 more frame not exact or not in order\n"),
              std::string::npos);

    // One byte, frame 0's own: too few to find the frame's number, and none differs.
    VerificationReport report(true);
    FrameMatch oneByte;
    oneByte.tooShortToFind = true;
    oneByte.comparedBytes = 1;
    oneByte.truncated = true;
    report.Add(oneByte, FramePlace{"one.raw", true, 0});
    FrameMatch oneDiffers = ExactFrame(1);
    oneDiffers.differingBytes = 1;
    oneDiffers.firstDifference = 4;
    oneDiffers.column = 1;
    report.Add(oneDiffers, FramePlace{});
    // One byte that is not the frame's own: it may be some other frame's, so it is not
    // said to match none.
    FrameMatch unmatched;
    unmatched.tooShortToFind = true;
    unmatched.number = report.ExpectedNext();
    unmatched.differingBytes = 1;
    unmatched.comparedBytes = 1;
    unmatched.truncated = true;
    report.Add(unmatched, FramePlace{});
    EXPECT_EQ(Printed(report),
              "  #0 (one.raw, byte 0): too few bytes to find its number; against frame 0, no "
              "byte differs; truncated, 1 byte of a frame\n"
              "  #1: frame 1, 1 byte differs, the first at byte 4 (row 0, column 1)\n"
              "  #2: too few bytes to find its number; against frame 2, 1 byte differs, the "
              "first at byte 0 (row 0, column 0); truncated, 1 byte of a frame\n"
              "Verified:      3 frames: 0 exact, 1 with bytes that differ, 2 matching no frame, 2 "
              "truncated\n"
              "Frame numbers: first 1, last 1\n"
              "Dropped:       1 frame: 0\n"
              "Repeated:      none\n"
              "Out of order:  none\n"
              "Result:        NOT every frame exact and consecutive\n");

    // With no frame recognised, no number is known: nothing is said to be dropped,
    // repeated, changed or out of order.
    VerificationReport alone(true);
    alone.Add(oneByte, FramePlace{});
    VerificationReport aloneUnder(true, ScenarioOf("drop 1"));
    aloneUnder.Add(oneByte, FramePlace{});
    const std::string unknown = "unknown: no frame recognised\n";
    EXPECT_NE(Printed(alone).find("Frame numbers: none recognised\nDropped:       " + unknown
                                  + "Repeated:      " + unknown + "Out of order:  " + unknown
                                  + "Result:        NOT every frame exact and consecutive\n"),
              std::string::npos)
        << Printed(alone);
    EXPECT_NE(Printed(aloneUnder)
                  .find("Frame numbers: none recognised\nDropped:       " + unknown
                        + "Repeated:      " + unknown + "Changed:       " + unknown
                        + "Out of order:  " + unknown),
              std::string::npos)
        << Printed(aloneUnder);
}

TEST(VerificationReport, NeverCallsACaptureCompleteWhenPartOfItWasNotVerified)
{
    VerificationReport whole = ReportOf({0, 1, 2}, true);
    whole.SetUnverified("1 input not read in full, named above");
    EXPECT_FALSE(whole.AllExactAndConsecutive());
    EXPECT_EQ(Printed(whole), "Verified:      3 frames: 3 exact\n"
                              "Frame numbers: first 0, last 2\n"
                              "Dropped:       none\n"
                              "Repeated:      none\n"
                              "Out of order:  none\n"
                              "Not verified:  1 input not read in full, named above\n"
                              "Result:        NOT complete: the frames verified are exact and "
                              "consecutive, but not every frame was verified\n");
    VerificationReport gap = ReportOf({0, 2}, true);
    gap.SetUnverified("3 frames, for want of memory");
    EXPECT_NE(Printed(gap).find("Not verified:  3 frames, for want of memory\n"
                                "Result:        NOT every frame exact and consecutive, and not "
                                "every frame was verified\n"),
              std::string::npos);
}

TEST(VerificationReport, AnUnmatchedFrameTakesAPlaceInTheStream)
{
    VerificationReport report(true);
    report.Add(ExactFrame(0), FramePlace{});
    FrameMatch unmatched;
    unmatched.number = report.ExpectedNext();
    unmatched.differingBytes = 589000;
    unmatched.firstDifference = 1537;
    unmatched.row = 1;
    unmatched.column = 0;
    unmatched.comparedBytes = 589824;
    report.Add(unmatched, FramePlace{"frames.raw", true, 589824});
    EXPECT_EQ(report.UnmatchedInARow(), 1u);
    EXPECT_EQ(report.ExpectedNext(), 2u);
    report.Add(ExactFrame(2), FramePlace{});
    EXPECT_EQ(report.UnmatchedInARow(), 0u);
    EXPECT_FALSE(report.AllExactAndConsecutive());
    EXPECT_EQ(Printed(report),
              "  #1 (frames.raw, byte 589,824): matches no frame from 0 to 100,001; against frame "
              "1, 589,000 bytes differ, the first at byte 1,537 (row 1, column 0)\n"
              "Verified:      3 frames: 2 exact, 1 matching no frame\n"
              "Frame numbers: first 0, last 2\n"
              "Dropped:       1 frame: 1\n"
              "Repeated:      none\n"
              "Out of order:  none\n"
              "Result:        NOT every frame exact and consecutive\n");
}

}    // namespace

namespace {

VerificationReport ReportUnder(const char* scenario, const std::vector<uint64_t>& numbers,
                               bool fromStreamStart = true)
{
    VerificationReport report(fromStreamStart, ScenarioOf(scenario));
    for (uint64_t number : numbers)
        report.Add(ExactFrame(number), FramePlace{});
    return report;
}

std::vector<uint64_t> SentUnder(const char* scenario, size_t most)
{
    const SentFrames sent(ScenarioOf(scenario));
    std::vector<uint64_t> numbers;
    SentFrame frame;
    for (bool more = sent.First(&frame); more && numbers.size() < most;
         more = sent.Next(frame, &frame))
        numbers.push_back(frame.copy ? frame.number + 1000 : frame.number);
    return numbers;
}

TEST(SentFrames, FollowTheScenarioFrameByFrameAndStopAtItsEnd)
{
    // A copy shows as its number + 1000.
    EXPECT_EQ(SentUnder("", 4), (std::vector<uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(SentUnder("drop 0,3; repeat 2; end 6", 10),
              (std::vector<uint64_t>{1, 2, 1002, 4, 5}));
    EXPECT_EQ(SentUnder("drop-every 2; abort 7 0x80004005", 10),
              (std::vector<uint64_t>{0, 1, 3, 5}));
    // A camera that sends nothing after frame 0: the search gives up, it does not hang.
    EXPECT_EQ(SentUnder("drop-every 1", 10), (std::vector<uint64_t>{0}));
    EXPECT_EQ(SentUnder("drop-percent 100 1", 10), (std::vector<uint64_t>{}));
}

TEST(VerificationReportUnderAScenario, TellsTheCamerasGapsFromTheHosts)
{
    // The camera drops 3 and 7; the host lost 6.
    const VerificationReport report = ReportUnder("drop 3,7", {0, 1, 2, 4, 5, 8, 9});
    EXPECT_FALSE(report.AllExactAndConsecutive());
    std::vector<FrameRange> byCamera, byHost;
    report.SplitDropped(&byCamera, &byHost);
    ASSERT_EQ(byCamera.size(), 2u);
    EXPECT_EQ(byCamera[1].first, 7u);
    ASSERT_EQ(byHost.size(), 1u);
    EXPECT_EQ(byHost[0].first, 6u);
    EXPECT_EQ(Printed(report),
              "  #5: frame 8, after frame 5\n"
              "Scenario:      drop 3,7\n"
              "Verified:      7 frames: 7 exact\n"
              "Frame numbers: first 0, last 9\n"
              "Dropped:       2 frames by the camera, as the scenario says: 3, 7; "
              "1 frame by the host: 6\n"
              "Repeated:      none by the camera; none by the host\n"
              "Changed:       none by the camera; none by the host\n"
              "Out of order:  none\n"
              "Result:        NOT exactly what the camera sent under the scenario\n");

    const VerificationReport whole = ReportUnder("drop 3,7", {0, 1, 2, 4, 5, 6, 8, 9});
    EXPECT_TRUE(whole.AllExactAndConsecutive());
    EXPECT_NE(Printed(whole).find("Dropped:       2 frames by the camera, as the scenario says: "
                                  "3, 7; none by the host\n"),
              std::string::npos);
    EXPECT_NE(Printed(whole).find("Result:        exactly what the camera sent under the "
                                  "scenario\n"),
              std::string::npos);

    // Frames before the first received count from the stream's start, the camera's as its.
    EXPECT_TRUE(ReportUnder("drop 0,1", {2, 3}).AllExactAndConsecutive());
    const VerificationReport late = ReportUnder("drop 0,1", {3, 4});
    EXPECT_FALSE(late.AllExactAndConsecutive());
    EXPECT_NE(Printed(late).find("  #0: frame 3, the first received\n"), std::string::npos);
    EXPECT_NE(Printed(late).find("Dropped:       2 frames by the camera, as the scenario says: "
                                 "0 to 1; 1 frame by the host: 2\n"),
              std::string::npos)
        << Printed(late);
    EXPECT_TRUE(ReportUnder("drop 0,1", {3, 4}, false).AllExactAndConsecutive());
}

TEST(VerificationReportUnderAScenario, ExpectsARepeatOnceRightAfterItsFrame)
{
    const VerificationReport expected = ReportUnder("repeat 2", {0, 1, 2, 2, 3});
    EXPECT_TRUE(expected.AllExactAndConsecutive());
    EXPECT_EQ(Printed(expected),
              "Scenario:      repeat 2\n"
              "Verified:      5 frames: 5 exact\n"
              "Frame numbers: first 0, last 3\n"
              "Dropped:       none by the camera; none by the host\n"
              "Repeated:      1 frame by the camera, as the scenario says: 2; "
              "none by the host\n"
              "Changed:       none by the camera; none by the host\n"
              "Out of order:  none\n"
              "Result:        exactly what the camera sent under the scenario\n");

    // A third copy, a copy of a frame the scenario does not repeat, and a copy that never
    // came are the host's.
    const VerificationReport third = ReportUnder("repeat 2", {0, 1, 2, 2, 2, 3});
    EXPECT_FALSE(third.AllExactAndConsecutive());
    EXPECT_NE(Printed(third).find("  #4: frame 2, again\n"), std::string::npos);
    EXPECT_NE(Printed(third).find("Repeated:      1 frame by the camera, as the scenario says: 2; "
                                  "1 frame by the host: 2\n"),
              std::string::npos);
    const VerificationReport other = ReportUnder("repeat 2", {0, 1, 2, 2, 3, 3});
    EXPECT_NE(Printed(other).find("1 frame by the host: 3\n"), std::string::npos);
    const VerificationReport lost = ReportUnder("repeat 2", {0, 1, 2, 3});
    EXPECT_FALSE(lost.AllExactAndConsecutive());
    EXPECT_NE(Printed(lost).find("  #3: frame 3; frame 2's repeat never came\n"), std::string::npos)
        << Printed(lost);
    EXPECT_NE(Printed(lost).find("Dropped:       none by the camera; 1 frame by the host: the "
                                 "repeat of 2\n"),
              std::string::npos)
        << Printed(lost);
    // A capture that stops right after the frame lost nothing.
    EXPECT_TRUE(ReportUnder("repeat 2", {0, 1, 2}).AllExactAndConsecutive());
}

TEST(VerificationReportUnderAScenario, SaysAFrameTheCameraNeverSendsMeansAnotherScenario)
{
    const VerificationReport dropped = ReportUnder("drop 3", {0, 1, 2, 3, 4});
    EXPECT_FALSE(dropped.AllExactAndConsecutive());
    EXPECT_EQ(Printed(dropped),
              "  #3: frame 3, which the scenario drops: the camera never sends it\n"
              "Scenario:      drop 3\n"
              "Verified:      5 frames: 5 exact\n"
              "Frame numbers: first 0, last 4\n"
              "Dropped:       none by the camera; none by the host\n"
              "Repeated:      none by the camera; none by the host\n"
              "Changed:       none by the camera; none by the host\n"
              "Out of order:  none\n"
              "Not sent:      1 frame came that the camera does not send under this scenario: 3; "
              "the capture was not made under it\n"
              "Result:        NOT a capture made under this scenario: frames came that the camera "
              "does not send under it\n");

    // Nothing comes from an end item's frame on; what came before it is the whole stream.
    EXPECT_TRUE(ReportUnder("end 4", {0, 1, 2, 3}).AllExactAndConsecutive());
    EXPECT_TRUE(ReportUnder("lose-device 2", {0, 1}).AllExactAndConsecutive());
    const VerificationReport past = ReportUnder("abort 4 0x80004005", {0, 1, 2, 3, 4, 5});
    EXPECT_FALSE(past.AllExactAndConsecutive());
    EXPECT_NE(Printed(past).find("  #4: frame 4, after the end the scenario gives the stream: the "
                                 "camera never sends it\n"),
              std::string::npos)
        << Printed(past);
    EXPECT_NE(Printed(past).find("Not sent:      2 frames came that the camera does not send "
                                 "under this scenario: 4, 5;"),
              std::string::npos);
}

// A capture that stopped early is whole only when the stream stopped as the scenario ends
// it, right after the last frame the camera sends; any other stop leaves frames unsent.
TEST(VerificationReportUnderAScenario, TakesAStreamToHaveEndedOnlyWhereAndAsTheScenarioEndsIt)
{
    const HRESULT notReady = HRESULT(0x80070015);
    const VerificationReport ended = ReportUnder("end 3; drop 1", {0, 2});
    EXPECT_TRUE(ended.EndedAsTheScenarioSays(StreamEnd::EndOfStream, S_OK));
    EXPECT_FALSE(ended.EndedAsTheScenarioSays(StreamEnd::DeviceLost, S_OK));
    // A stall, or an end no scenario gives, stops a stream the camera goes on with.
    EXPECT_FALSE(ended.EndedAsTheScenarioSays(StreamEnd::None, S_OK));
    // The end came, but frames the camera sent before it did not.
    EXPECT_FALSE(
        ReportUnder("end 5", {0, 1, 2}).EndedAsTheScenarioSays(StreamEnd::EndOfStream, S_OK));
    const VerificationReport aborted = ReportUnder("abort 2 0x80070015", {0, 1});
    EXPECT_TRUE(aborted.EndedAsTheScenarioSays(StreamEnd::Abort, notReady));
    EXPECT_FALSE(aborted.EndedAsTheScenarioSays(StreamEnd::Abort, E_FAIL));
    // The repeat of the last frame is still to come, then the end.
    EXPECT_FALSE(ReportUnder("lose-device 2; repeat 1", {0, 1})
                     .EndedAsTheScenarioSays(StreamEnd::DeviceLost, S_OK));
    EXPECT_TRUE(ReportUnder("lose-device 2; repeat 1", {0, 1, 1})
                    .EndedAsTheScenarioSays(StreamEnd::DeviceLost, S_OK));
    // A stream that sends nothing has ended before any frame.
    EXPECT_TRUE(ReportUnder("end 0", {}).EndedAsTheScenarioSays(StreamEnd::EndOfStream, S_OK));
    // Without a scenario, or under one that gives no end, no end is the camera's.
    EXPECT_FALSE(ReportOf({0, 1, 2}, true).EndedAsTheScenarioSays(StreamEnd::EndOfStream, S_OK));
    EXPECT_FALSE(ReportUnder("", {0, 1}).EndedAsTheScenarioSays(StreamEnd::EndOfStream, S_OK));
    EXPECT_FALSE(ReportUnder("drop 2", {0, 1, 3}).EndedAsTheScenarioSays(StreamEnd::Abort, S_OK));
}

TEST(VerificationReportUnderAScenario, NamesTheScenarioEvenWhenItIsEmpty)
{
    VerificationReport report(true, FaultScenario(), "stored for Orvix61 Capture Source Test 2");
    report.Add(ExactFrame(0), FramePlace{});
    EXPECT_TRUE(report.AllExactAndConsecutive());
    EXPECT_NE(Printed(report).find("Scenario:      none: every frame once, as made (stored for "
                                   "Orvix61 Capture Source Test 2)\n"),
              std::string::npos);
    // A scenario that only moves stamps or holds frames back sends every frame once.
    EXPECT_TRUE(ReportUnder("stall 1 500; jitter 3; no-stamp 2; clock-wrap", {0, 1, 2, 3})
                    .AllExactAndConsecutive());
}

}    // namespace

namespace {

using Frame = std::vector<BYTE>;

// Frames of 512 x 384 RGB32 (format 3), as the camera's model makes them.
class FramesUnderAScenario : public ::testing::Test
{
protected:
    FramesUnderAScenario() { DescribeFrameFormat(3, &format); }

    Frame Model(uint64_t number) const
    {
        Frame bytes(format.frameBytes);
        FillNoise(FrameStartState(format, number), bytes.data(), bytes.size(), NoiseKernel::Sse2);
        return bytes;
    }
    Frame Corrupted(uint64_t number) const
    {
        Frame bytes = Model(number);
        CorruptFrame(bytes.data(), format.rowBytes, format.height);
        return bytes;
    }
    Frame Reversed(Frame bytes) const
    {
        ReverseRows(bytes.data(), format.rowBytes, format.height);
        return bytes;
    }
    // The report on `frames`, received in that order under `scenario`.
    std::string Report(const char* scenario, const std::vector<Frame>& frames,
                       int capturedPixelBytes = 4, bool* sentExactly = nullptr) const
    {
        FrameVerifier verifier(format, capturedPixelBytes);
        VerificationReport report(true, ScenarioOf(scenario));
        for (const Frame& frame : frames)
            VerifyNextFrame(verifier, report, frame.data(), frame.size(), FramePlace{});
        if (sentExactly)
            *sentExactly = report.AllExactAndConsecutive();
        return Printed(report);
    }

    FrameFormat format;
};

bool Holds(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(FramesUnderAScenario, TakesTheCamerasCorruptionAsExactAndAnyOtherChangeAsTheHosts)
{
    bool exact = false;
    std::string printed =
        Report("corrupt 2; repeat 2", {Model(0), Model(1), Corrupted(2), Corrupted(2), Model(3)}, 4,
               &exact);
    EXPECT_TRUE(exact) << printed;
    EXPECT_TRUE(Holds(printed, "Verified:      5 frames: 3 exact, 2 as the scenario changed it\n"))
        << printed;
    EXPECT_TRUE(Holds(printed, "Changed:       2 frames by the camera, as the scenario says: 2, "
                               "2; none by the host\n"))
        << printed;

    // A byte outside the band, and one inside it that is not white.
    Frame beyond = Corrupted(2);
    beyond[200 * format.rowBytes + 8] ^= 0x01;
    Frame inside = Corrupted(2);
    inside[100 * format.rowBytes + 4] = 0x00;
    for (const Frame& damaged : {beyond, inside}) {
        printed = Report("corrupt 2", {Model(0), Model(1), damaged}, 4, &exact);
        EXPECT_FALSE(exact) << printed;
        EXPECT_TRUE(Holds(printed, "  #2: frame 2, not as the scenario changes it, ")) << printed;
        EXPECT_TRUE(Holds(printed, "Changed:       none by the camera; 1 frame by the host: 2\n"))
            << printed;
    }

    // The change on a frame the scenario leaves alone is the host's; that frame whole means
    // the capture ran another scenario.
    printed = Report("corrupt 2", {Model(0), Corrupted(1), Model(2)}, 4, &exact);
    EXPECT_FALSE(exact);
    EXPECT_TRUE(Holds(printed, "  #1: frame 1, ")) << printed;
    EXPECT_TRUE(Holds(printed, "bytes differ, the first at byte 196,608 (row 96, column 0)\n"))
        << printed;
    EXPECT_TRUE(Holds(printed, "  #2: frame 2, whole, though the scenario corrupts it: the camera "
                               "never sends it so\n"))
        << printed;
    EXPECT_TRUE(Holds(printed, "Not sent:      1 frame came that the camera does not send under "
                               "this scenario: 2;"))
        << printed;
}

TEST_F(FramesUnderAScenario, FindsTheBandInTheLayoutTheFrameWasCapturedIn)
{
    bool exact = false;
    // A 24-bit still of a corrupted RGB32 frame keeps its colour bytes alone.
    Frame colour;
    const Frame corrupted = Corrupted(0);
    for (size_t pixel = 0; pixel < corrupted.size(); pixel += 4)
        colour.insert(colour.end(), corrupted.begin() + pixel, corrupted.begin() + pixel + 3);
    std::string printed = Report("corrupt 0", {colour}, 3, &exact);
    EXPECT_TRUE(exact) << printed;

    // A host that fills in alpha keeps the camera's change, and its own is named.
    Frame opaque = Corrupted(0);
    for (size_t fourth = 3; fourth < opaque.size(); fourth += 4)
        opaque[fourth] = 0xFF;
    printed = Report("corrupt 0", {opaque}, 4, &exact);
    EXPECT_FALSE(exact);
    EXPECT_TRUE(Holds(printed, "  #0: frame 0, changed as the scenario says, and the fourth bytes "
                               "of "))
        << printed;

    // Bottom-up frames left the way they came: the band is where their rows put it.
    printed = Report("corrupt 1; bottom-up", {Model(0), Reversed(Corrupted(1))}, 4, &exact);
    EXPECT_FALSE(exact);
    EXPECT_TRUE(Holds(printed, "  #0: frame 0, its rows in reverse order") == false) << printed;
    EXPECT_TRUE(Holds(printed, "  #1: frame 1, changed as the scenario says, and its rows in "
                               "reverse order (the host did not turn the camera's bottom-up "
                               "frames top-down)\n"))
        << printed;
    printed = Report("bottom-up", {Reversed(Model(0))}, 4, &exact);
    EXPECT_FALSE(exact);
    EXPECT_TRUE(Holds(printed, "  #0: frame 0, its rows in reverse order (the host did not turn "
                               "the camera's bottom-up frames top-down)\n"))
        << printed;
    EXPECT_TRUE(Holds(printed, "Changed:       none by the camera; 1 frame by the host: 0\n"))
        << printed;
    // Turned the right way up, they are exact.
    EXPECT_TRUE(Holds(Report("bottom-up", {Model(0), Model(1)}), "Result:        exactly what"));
}

}    // namespace
