#include "CameraOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
bool Parse(std::vector<const wchar_t*> arguments, CameraOptions* options, std::string* error)
{
    return ParseCameraOptions(int(arguments.size()), arguments.data(), options, error);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}
}    // namespace

TEST(CameraOptions, TakesEachCommandAndStoresTheScenarioAsItsCanonicalText)
{
    CameraOptions listing;
    std::string error;
    ASSERT_TRUE(Parse({L"--list"}, &listing, &error)) << error;
    EXPECT_TRUE(listing.listDevices);
    EXPECT_EQ(0, listing.device);

    CameraOptions change;
    ASSERT_TRUE(Parse({L"--show", L"--faults", L"stall 40 500;drop 17, 5 ;", L"--device", L"4",
                       L"--format", L"6"},
                      &change, &error))
        << error;
    EXPECT_EQ(4, change.device);
    EXPECT_EQ(6, change.formatIndex);
    EXPECT_TRUE(change.storeScenario);
    EXPECT_EQ("drop 5,17; stall 40 500", change.scenarioText);
    EXPECT_FALSE(change.clearScenario);
    EXPECT_TRUE(change.showDevice);
    EXPECT_FALSE(change.listDevices);

    CameraOptions clear;
    ASSERT_TRUE(Parse({L"--device", L"1", L"--clear"}, &clear, &error)) << error;
    EXPECT_TRUE(clear.clearScenario);
    EXPECT_FALSE(clear.storeScenario);
    EXPECT_EQ(0, clear.formatIndex);

    // A scenario of no item runs no faults: it is stored as none.
    for (const wchar_t* empty : {L"", L" ; ;"}) {
        CameraOptions none;
        ASSERT_TRUE(Parse({L"--device", L"2", L"--faults", empty}, &none, &error)) << error;
        EXPECT_TRUE(none.clearScenario);
        EXPECT_FALSE(none.storeScenario);
    }

    CameraOptions help;
    ASSERT_TRUE(Parse({L"--help"}, &help, &error));
    EXPECT_TRUE(help.showHelp);
}

TEST(CameraOptions, RefusesWhatItCannotUseAndSaysWhy)
{
    struct Case
    {
        std::vector<const wchar_t*> arguments;
        const char* message;
    };
    const Case refused[] = {
        {{}, "nothing to do"},
        {{L"--bogus"}, "unknown option '--bogus'"},
        {{L"--device", L"0", L"--show"}, "from 1 to 4, not '0'"},
        {{L"--device", L"5", L"--show"}, "from 1 to 4, not '5'"},
        {{L"--device", L"Orvix61 Capture Source Test 1", L"--show"}, "device number"},
        {{L"--device"}, "--device needs a value"},
        {{L"--device", L"1"}, "--device needs --format, --faults, --clear or --show"},
        {{L"--device", L"1", L"--format", L"0"}, "from 1 to 6, not '0'"},
        {{L"--device", L"1", L"--format", L"7"}, "from 1 to 6, not '7'"},
        {{L"--format", L"3"}, "--device N is needed"},
        {{L"--clear"}, "--device N is needed"},
        {{L"--list", L"--device", L"1"}, "--list goes alone"},
        {{L"--list", L"--show"}, "--list goes alone"},
        {{L"--device", L"1", L"--faults", L"drop 2", L"--clear"}, "do not go together"},
        {{L"--device", L"1", L"--device", L"2", L"--show"}, "--device is given twice"},
        {{L"--device", L"1", L"--format", L"2", L"--format", L"3"}, "--format is given twice"},
        {{L"--device", L"1", L"--faults", L"drop 2", L"--faults", L"drop 3"},
         "--faults is given twice"},
        {{L"--device", L"1", L"--show", L"--show"}, "--show is given twice"},
        // The item and why, as the scenario's parser names them.
        {{L"--device", L"1", L"--faults", L"drop 2; stall 40"}, "\"stall 40\""},
        {{L"--device", L"1", L"--faults", L"drop 2; wobble 3"}, "\"wobble 3\": is no item"},
        {{L"--device", L"1", L"--faults", L"drop-percent 101 7"}, "\"drop-percent 101 7\""},
    };
    for (const Case& bad : refused) {
        CameraOptions options;
        std::string error;
        EXPECT_FALSE(Parse(bad.arguments, &options, &error)) << bad.message;
        EXPECT_TRUE(Contains(error, bad.message)) << error;
    }
    CameraOptions options;
    std::string error;
    EXPECT_FALSE(Parse({L"--device", L"1", L"--faults", L"drop x"}, &options, &error));
    EXPECT_TRUE(Contains(error, "does not parse")) << error;
    EXPECT_TRUE(Contains(error, "nothing was stored")) << error;
}

TEST(CameraOptions, RefusesAScenarioTooLongToStoreBeforeOrAfterItIsWrittenOut)
{
    // 4,096 characters: one more than a scenario may have.
    std::wstring overlong = L"drop 1;" + std::wstring(4089, L' ');
    CameraOptions options;
    std::string error;
    EXPECT_FALSE(Parse({L"--device", L"1", L"--faults", overlong.c_str()}, &options, &error));
    EXPECT_TRUE(Contains(error, "longer than 4095 characters")) << error;

    // Within the bound as given, but written out with "; " between its items it is past.
    std::wstring text;
    for (int frame = 100; text.size() + 12 <= 4095; ++frame)
        text += L"stall " + std::to_wstring(frame) + L" 1;";
    ASSERT_LE(text.size(), 4095u);
    CameraOptions expanded;
    EXPECT_FALSE(Parse({L"--device", L"1", L"--faults", text.c_str()}, &expanded, &error));
    EXPECT_TRUE(Contains(error, "written out in full")) << error;
    EXPECT_FALSE(expanded.storeScenario);
}
