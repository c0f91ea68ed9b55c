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
    oneByte.comparedBytes = 1;
    oneByte.truncated = true;
    report.Add(oneByte, FramePlace{"one.raw", true, 0});
    FrameMatch oneDiffers = ExactFrame(1);
    oneDiffers.differingBytes = 1;
    oneDiffers.firstDifference = 4;
    oneDiffers.column = 1;
    report.Add(oneDiffers, FramePlace{});
    FrameMatch unmatched;
    unmatched.number = report.ExpectedNext();
    unmatched.differingBytes = 1;
    unmatched.comparedBytes = 1;
    unmatched.truncated = true;
    report.Add(unmatched, FramePlace{});
    EXPECT_EQ(Printed(report),
              "  #0 (one.raw, byte 0): too few bytes to find its number; against frame 0, no "
              "byte differs; truncated, 1 byte of a frame\n"
              "  #1: frame 1, 1 byte differs, the first at byte 4 (row 0, column 1)\n"
              "  #2: matches no frame from 0 to 100,002; against frame 2, 1 byte differs, the "
              "first at byte 0 (row 0, column 0); truncated, 1 byte of a frame\n"
              "Verified:      3 frames: 0 exact, 1 with bytes that differ, 2 matching no frame, 2 "
              "truncated\n"
              "Frame numbers: first 1, last 1\n"
              "Dropped:       1 frame: 0\n"
              "Repeated:      none\n"
              "Out of order:  none\n"
              "Result:        NOT every frame exact and consecutive\n");
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
