#include "camera/FaultScenario.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

FaultScenario Parsed(const std::string& text)
{
    FaultScenario scenario;
    char problem[ScenarioProblemBytes];
    EXPECT_TRUE(FaultScenario::Parse(text.c_str(), &scenario, problem)) << text << ": " << problem;
    return scenario;
}

// The problem Parse names, or "" when the text parses.
std::string ProblemOf(const std::string& text)
{
    FaultScenario scenario;
    char problem[ScenarioProblemBytes];
    return FaultScenario::Parse(text.c_str(), &scenario, problem) ? "" : problem;
}

std::string Formatted(const FaultScenario& scenario)
{
    char text[MaxScenarioTextBytes];
    EXPECT_TRUE(scenario.Format(text, sizeof(text)));
    return text;
}

// The frame numbers in the order a stream under `scenario` delivers them, up to `frames`
// frames made.
std::vector<LONGLONG> Delivered(const FaultScenario& scenario, LONGLONG frames)
{
    std::vector<LONGLONG> numbers;
    for (LONGLONG frame = 0; frame < frames; ++frame) {
        const FrameFate fate = scenario.FateOf(frame);
        if (fate.end != StreamEnd::None)
            break;
        if (!fate.delivered)
            continue;
        numbers.push_back(frame);
        if (fate.repeated)
            numbers.push_back(frame);
    }
    return numbers;
}

}    // namespace

TEST(FaultScenario, EmptyTextIsNoScenarioAndEveryFrameComesAsMade)
{
    for (const char* text : {"", "  ", ";", " ; ;\t"}) {
        const FaultScenario scenario = Parsed(text);
        EXPECT_TRUE(scenario.IsEmpty()) << text;
        EXPECT_EQ("", Formatted(scenario));
    }
    const FaultScenario none;
    for (LONGLONG frame : {0LL, 1LL, 99999LL, 0x7FFFFFFFLL}) {
        const FrameFate fate = none.FateOf(frame);
        EXPECT_TRUE(fate.delivered);
        EXPECT_FALSE(fate.discontinuity || fate.repeated || fate.corrupted || fate.untimed);
        EXPECT_EQ(0, fate.stallMs);
        EXPECT_EQ(0, fate.stampShiftMs);
        EXPECT_EQ(StreamEnd::None, fate.end);
    }
    EXPECT_EQ(S_OK, none.FailStart());
    EXPECT_FALSE(none.BottomUp() || none.ClockWrap());
}

TEST(FaultScenario, EveryItemReadsBackInOneOrderAndParsesToTheSameScenario)
{
    const FaultScenario scenario =
        Parsed("bottom-up; abort 900 0x80004005;drop 17, 5 ;stall 40 500;jitter 3;"
               "stamp-step 50 -200; drop-every 100; no-stamp 7; clock-wrap; corrupt 9;"
               "repeat 12,13; late-start 2000; drop-percent 2.50 7; fail-start 2147942431;"
               "stamp-step 60 30; drop 5");
    const std::string canonical =
        "fail-start 0x8007001F; late-start 2000; drop 5,17; drop-every 100; "
        "drop-percent 2.5 7; repeat 12,13; corrupt 9; no-stamp 7; stall 40 500; jitter 3; "
        "stamp-step 50 -200; stamp-step 60 30; clock-wrap; bottom-up; abort 900 0x80004005";
    EXPECT_EQ(canonical, Formatted(scenario));
    EXPECT_TRUE(Parsed(canonical) == scenario);
    EXPECT_EQ(HRESULT(0x8007001F), scenario.FailStart());
    EXPECT_TRUE(scenario.BottomUp());
    EXPECT_TRUE(scenario.ClockWrap());
    EXPECT_EQ("end 30", Formatted(Parsed("end 30")));
    EXPECT_EQ("lose-device 0", Formatted(Parsed("lose-device 0")));
    EXPECT_EQ("drop-percent 100 0", Formatted(Parsed("drop-percent 100.00 0x0")));

    char small[16];
    EXPECT_FALSE(scenario.Format(small, sizeof(small)));
}

TEST(FaultScenario, DroppedFramesLeaveGapsAndTheFrameAfterEachGapIsADiscontinuity)
{
    const FaultScenario scenario = Parsed("drop 0,5,6; drop-every 10");
    EXPECT_EQ((std::vector<LONGLONG>{1, 2, 3, 4, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21}),
              Delivered(scenario, 22));
    for (LONGLONG frame : {1LL, 7LL, 11LL, 21LL})
        EXPECT_TRUE(scenario.FateOf(frame).discontinuity) << frame;
    for (LONGLONG frame : {2LL, 4LL, 8LL, 9LL, 12LL})
        EXPECT_FALSE(scenario.FateOf(frame).discontinuity) << frame;

    // drop-every keeps frame 0: frames N, 2N, 3N ... go.
    EXPECT_EQ((std::vector<LONGLONG>{0}), Delivered(Parsed("drop-every 1"), 50));
}

TEST(FaultScenario, DropPercentDropsThatShareOfFramesTheSameWayForASeed)
{
    const FaultScenario scenario = Parsed("drop-percent 2.5 7");
    const LONGLONG frames = 200000;
    const std::vector<LONGLONG> delivered = Delivered(scenario, frames);
    const double dropped = double(frames - LONGLONG(delivered.size())) / double(frames);
    EXPECT_NEAR(0.025, dropped, 0.002);
    EXPECT_EQ(delivered, Delivered(Parsed("drop-percent 2.5 7"), frames));
    EXPECT_NE(delivered, Delivered(Parsed("drop-percent 2.5 8"), frames));
    EXPECT_EQ(size_t(1000), Delivered(Parsed("drop-percent 0 7"), 1000).size());
    EXPECT_TRUE(Delivered(Parsed("drop-percent 100 7"), 1000).empty());
}

TEST(FaultScenario, FramesRepeatCorruptStallAndLoseTheirStampAsNamed)
{
    const FaultScenario scenario =
        Parsed("repeat 3; corrupt 4; stall 5 250; no-stamp 6; late-start 1200");
    EXPECT_EQ((std::vector<LONGLONG>{0, 1, 2, 3, 3, 4, 5, 6, 7}), Delivered(scenario, 8));
    EXPECT_TRUE(scenario.FateOf(3).repeated);
    EXPECT_TRUE(scenario.FateOf(4).corrupted);
    EXPECT_EQ(250, scenario.FateOf(5).stallMs);
    EXPECT_EQ(1200, scenario.FateOf(0).stallMs);
    EXPECT_TRUE(scenario.FateOf(6).untimed);
    for (LONGLONG frame : {1LL, 2LL, 7LL}) {
        const FrameFate fate = scenario.FateOf(frame);
        EXPECT_FALSE(fate.repeated || fate.corrupted || fate.untimed || fate.stallMs) << frame;
    }
}

TEST(FaultScenario, StampStepsAddUpFromTheirFrameAndJitterStaysWithinItsBound)
{
    const FaultScenario steps = Parsed("stamp-step 10 -200; stamp-step 20 50");
    EXPECT_EQ(0, steps.FateOf(9).stampShiftMs);
    EXPECT_EQ(-200, steps.FateOf(10).stampShiftMs);
    EXPECT_EQ(-200, steps.FateOf(19).stampShiftMs);
    EXPECT_EQ(-150, steps.FateOf(20).stampShiftMs);
    EXPECT_EQ(-150, steps.FateOf(1000000).stampShiftMs);

    const FaultScenario jitter = Parsed("jitter 3");
    bool seen[7] = {};
    for (LONGLONG frame = 0; frame < 1000; ++frame) {
        const LONGLONG shift = jitter.FateOf(frame).stampShiftMs;
        ASSERT_GE(shift, -3);
        ASSERT_LE(shift, 3);
        seen[shift + 3] = true;
        EXPECT_EQ(shift, Parsed("jitter 3").FateOf(frame).stampShiftMs);
    }
    for (bool value : seen)
        EXPECT_TRUE(value);
}

TEST(FaultScenario, TheStreamEndsAtTheEndItemsFrameInTheWayItNames)
{
    const FaultScenario ended = Parsed("end 3; drop 1");
    EXPECT_EQ((std::vector<LONGLONG>{0, 2}), Delivered(ended, 100));
    EXPECT_EQ(StreamEnd::EndOfStream, ended.FateOf(3).end);
    EXPECT_EQ(StreamEnd::EndOfStream, ended.FateOf(4000).end);
    EXPECT_FALSE(ended.FateOf(3).delivered);

    EXPECT_EQ(StreamEnd::DeviceLost, Parsed("lose-device 0").FateOf(0).end);
    const FrameFate aborted = Parsed("abort 7 -2147467259").FateOf(7);
    EXPECT_EQ(StreamEnd::Abort, aborted.end);
    EXPECT_EQ(E_FAIL, aborted.abortResult);
    EXPECT_EQ(StreamEnd::None, Parsed("abort 7 0x80004005").FateOf(6).end);
}

TEST(FaultScenario, TextThatDoesNotParseNamesTheItemAndWhyAndChangesNothing)
{
    struct Case
    {
        const char* text;
        const char* named;
    };
    const Case cases[] = {
        {"drop 5; Drop 6", "\"Drop 6\": is no item"},
        {"drop", "takes frame numbers"},
        {"drop 5,,6", "empty place"},
        {"drop -1", "'-1' is no frame number"},
        {"drop 2147483648", "'2147483648' is no frame number"},
        {"drop five", "'five' is no frame number"},
        {"drop-every 0", "N is 1 or more"},
        {"stall 40", "takes a frame number and milliseconds"},
        {"stall 40 3600001", "'3600001' is no number of milliseconds (0 to 3600000)"},
        {"stamp-step 4 -3600001", "(-3600000 to 3600000)"},
        {"drop-percent 100.5 1", "'100.5' is no percentage"},
        {"drop-percent 5 -1", "'-1' is no seed"},
        {"fail-start 0x0004001F", "is a success code"},
        {"abort 3 E_FAIL", "'E_FAIL' is no HRESULT"},
        {"clock-wrap now", "takes nothing"},
        {"stall 40 500; stall 40 900", "frame 40 already has a stall of 500 ms"},
        {"jitter 2; jitter 3", "jitter is already 2"},
        {"end 20; lose-device 10", "already ends with end 20"},
        {"drop 7; repeat 7", "frame 7 is dropped, so it cannot also be given repeat"},
        {"corrupt 8; drop 8", "frame 8 is dropped, so it cannot also be given corrupt"},
        {"late-start 10; stall 0 20", "late-start and stall 0 both wait before frame 0"},
        {"stall 1 2 3", "takes a frame number and milliseconds"},
        // Blanks separate words, not digits: "5 17" is no frame 517.
        {"drop 5 17", "'5 17' is no frame number"},
        {"repeat 3, 4 6", "'4 6' is no frame number"},
        // An item that waits or jitters by nothing is given once all the same.
        {"late-start 0; late-start 500", "late-start is already 0"},
        {"jitter 3; jitter 0", "jitter is already 3"},
    };
    for (const Case& c : cases) {
        const std::string problem = ProblemOf(c.text);
        EXPECT_NE(std::string::npos, problem.find(c.named)) << c.text << " gave: " << problem;
    }
    // Said twice the same way is no contradiction.
    EXPECT_EQ("", ProblemOf("stall 40 500; stall 40 500; end 9; end 9; drop 3; drop 3"));
    EXPECT_EQ("", ProblemOf("late-start 0; late-start 0; jitter 0; jitter 0"));

    std::string many = "drop 0";
    for (int frame = 1; frame <= MaxFrameFaults; ++frame)
        many += "," + std::to_string(frame);
    EXPECT_NE(std::string::npos, ProblemOf(many).find("more than 512 frames"));
    EXPECT_NE(std::string::npos,
              ProblemOf(std::string(MaxScenarioTextBytes, ' ')).find("longer than 4095"));
    std::string tight;
    for (int frame = 0; frame < 340; ++frame)
        tight += "stall " + std::to_string(frame) + " 9;";
    ASSERT_LT(tight.size(), MaxScenarioTextBytes);
    EXPECT_NE(std::string::npos, ProblemOf(tight).find("written out in full"));

    FaultScenario kept = Parsed("drop 3");
    char problem[ScenarioProblemBytes];
    EXPECT_FALSE(FaultScenario::Parse("drop 4; stall", &kept, problem));
    EXPECT_EQ("drop 3", Formatted(kept));
}

TEST(FaultScenario, CorruptionWhitensABandAQuarterDownAndRowsReverseInPlace)
{
    const size_t rowBytes = 6;
    const LONG rows = 64;
    std::vector<BYTE> frame(rowBytes * rows);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = BYTE(i / rowBytes);
    std::vector<BYTE> corrupted = frame;
    CorruptFrame(corrupted.data(), rowBytes, rows);
    for (LONG row = 0; row < rows; ++row) {
        const bool inBand = row >= 16 && row < 32;
        for (size_t column = 0; column < rowBytes; ++column)
            ASSERT_EQ(inBand ? 0xFF : row, corrupted[row * rowBytes + column]) << row;
    }
    std::vector<BYTE> small(rowBytes * 3, 1);
    CorruptFrame(small.data(), rowBytes, 3);    // a quarter of 3 rows is row 0: all 3 rows
    EXPECT_EQ(std::vector<BYTE>(rowBytes * 3, 0xFF), small);

    std::vector<BYTE> turned = frame;
    ReverseRows(turned.data(), rowBytes, rows);
    for (LONG row = 0; row < rows; ++row)
        ASSERT_EQ(BYTE(rows - 1 - row), turned[row * rowBytes]);
    ReverseRows(turned.data(), rowBytes, rows);
    EXPECT_EQ(frame, turned);
}

TEST(FaultScenario, AWrappingClockPutsTheNextStampASecondShortOfA32BitWrap)
{
    const LONGLONG wrap = 0x100000000LL;
    EXPECT_EQ(wrap - 1000, WrappingClockStart(0) + 10);
    EXPECT_EQ(wrap - 1000, WrappingClockStart(wrap - 1010) + 10);
    EXPECT_EQ(2 * wrap - 1000, WrappingClockStart(wrap - 1009) + 10);
    EXPECT_EQ(3 * wrap - 1000, WrappingClockStart(2 * wrap + 5) + 10);
}
