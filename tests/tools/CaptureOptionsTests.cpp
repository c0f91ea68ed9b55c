#include "CaptureOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
bool Parse(std::vector<const wchar_t*> arguments, CaptureOptions* options, std::string* error)
{
    return ParseCaptureOptions(int(arguments.size()), arguments.data(), options, error);
}
}    // namespace

TEST(CaptureOptions, TakesEveryOptionAndKeepsDefaultsForTheRest)
{
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(Parse({}, &options, &error));
    EXPECT_EQ(L"Orvix61 Capture Source Test 1", options.deviceName);
    EXPECT_EQ(0, options.formatIndex);
    EXPECT_EQ(10, options.frameCount);
    EXPECT_FALSE(options.listDevices);
    EXPECT_FALSE(options.verify);

    ASSERT_TRUE(
        Parse({L"--device", L"Orvix61 Capture Source Test 3", L"--format", L"6", L"--frames",
               L"100000", L"--output", L"C:\\shots\\a.bmp", L"--list", L"--verify"},
              &options, &error))
        << error;
    EXPECT_EQ(L"Orvix61 Capture Source Test 3", options.deviceName);
    EXPECT_EQ(6, options.formatIndex);
    EXPECT_EQ(100000, options.frameCount);
    EXPECT_EQ(L"C:\\shots\\a.bmp", options.imagePath);
    EXPECT_TRUE(options.listDevices);
    EXPECT_TRUE(options.verify);
}

TEST(CaptureOptions, RefusesWhatItCannotUseAndSaysWhy)
{
    const std::vector<std::vector<const wchar_t*>> refused = {
        {L"--bogus"},
        {L"--frames"},
        {L"--frames", L"0"},
        {L"--frames", L"-3"},
        {L"--frames", L"100001"},
        {L"--frames", L"12x"},
        {L"--frames", L"99999999999"},
        {L"--format", L"0"},
        {L"--format", L"7"},
        {L"--format", L""},
        {L"--device", L""},
        {L"--output", L""},
        {L"--list", L"extra"},
    };
    for (const auto& arguments : refused) {
        CaptureOptions options;
        std::string error;
        EXPECT_FALSE(Parse(arguments, &options, &error)) << arguments.size();
        EXPECT_FALSE(error.empty());
    }
    CaptureOptions options;
    std::string error;
    Parse({L"--format", L"9"}, &options, &error);
    EXPECT_NE(std::string::npos, error.find("from 1 to 6"));
    EXPECT_NE(std::string::npos, error.find("'9'"));
}

TEST(CaptureOptions, TakesADeviceByNumberAndAScenarioThatParses)
{
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(Parse({L"--device", L"3", L"--faults", L"repeat 7;drop 5, 3"}, &options, &error))
        << error;
    EXPECT_EQ(L"Orvix61 Capture Source Test 3", options.deviceName);
    ASSERT_TRUE(options.scenarioGiven);
    char text[MaxScenarioTextBytes];
    ASSERT_TRUE(options.scenario.Format(text, sizeof(text)));
    EXPECT_STREQ("drop 3,5; repeat 7", text);

    for (const auto& refused :
         {std::make_pair(std::vector<const wchar_t*>{L"--device", L"5"}, "from 1 to 4"),
          std::make_pair(std::vector<const wchar_t*>{L"--device", L"0"}, "not '0'"),
          std::make_pair(std::vector<const wchar_t*>{L"--faults", L"stall 40"},
                         "--faults: the scenario does not parse: \"stall 40\""),
          std::make_pair(std::vector<const wchar_t*>{L"--faults"}, "--faults needs a value")}) {
        CaptureOptions bad;
        EXPECT_FALSE(Parse(refused.first, &bad, &error));
        EXPECT_NE(std::string::npos, error.find(refused.second)) << error;
    }
}
