#include "SettingsExpectations.h"
#include "filter/CameraValueLists.h"
#include "filter/SettingsStore.h"
#include "framework/Ownership.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Class identifiers of these tests alone, so that no variant's stored settings are touched.
constexpr GUID TestClassA = {
    0x3C6B2F1A, 0x8E47, 0x4D0B, {0xA9, 0x15, 0x6E, 0x2D, 0x70, 0xC4, 0x1B, 0x93}};
constexpr GUID TestClassB = {
    0x3C6B2F1B, 0x8E47, 0x4D0B, {0xA9, 0x15, 0x6E, 0x2D, 0x70, 0xC4, 0x1B, 0x93}};
constexpr char TestClassKeyA[] = "Software\\Classes\\CLSID\\{3C6B2F1A-8E47-4D0B-A915-6E2D70C41B93}";
constexpr char TestClassKeyB[] = "Software\\Classes\\CLSID\\{3C6B2F1B-8E47-4D0B-A915-6E2D70C41B93}";

class SettingsStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveTestKeys();
        ASSERT_TRUE(SettingsKeyPath(TestClassA, path));
    }
    void TearDown() override { RemoveTestKeys(); }

    static void RemoveTestKeys()
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, TestClassKeyA);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, TestClassKeyA);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, TestClassKeyB);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, TestClassKeyB);
    }

    // Stores raw data of any registry type, as another program might have left it.
    void StoreRaw(const char* valueName, DWORD type, const void* data, DWORD bytes)
    {
        UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  key.Put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExA(key.Get(), valueName, 0, type, static_cast<const BYTE*>(data), bytes),
            ERROR_SUCCESS);
    }

    LONG ReadInt(const char* valueName, LONG defaultValue)
    {
        LONG value = 0x5A5A5A5A;
        ReadSettingInt(path, valueName, defaultValue, &value);
        return value;
    }

    std::string ReadText(const char* valueName, const char* defaultText)
    {
        char buffer[CameraNameBytes];
        std::memset(buffer, 0x5A, sizeof(buffer));
        ReadSettingText(path, valueName, defaultText, buffer, sizeof(buffer));
        // The text must end inside the buffer, whatever was stored.
        const void* end = std::memchr(buffer, '\0', sizeof(buffer));
        EXPECT_NE(end, nullptr);
        return end ? std::string(buffer) : std::string();
    }

    char path[SettingsKeyPathBytes] = {};
};

CameraSettings SampleSettings()
{
    CameraSettings settings = {};
    settings.ExposureGain = 12;
    settings.ExposureIntTime = 13;
    settings.ExposureMaxGain = 3;
    settings.ExposureMaxIntTime = 9;
    settings.AutoLevelsMinClip = 7;
    settings.AutoLevelsMaxClip = 2;
    settings.AutoExposureEnable = 0;
    settings.AutoLevelsEnable = 0;
    settings.AntiFlickerEnable = 1;
    settings.AntiFlickerFreq = -7;
    std::strcpy(settings.CameraName, "Test camera 3");
    return settings;
}

TEST_F(SettingsStore, KeyPathIsTheClassKeysServerSubkey)
{
    EXPECT_STREQ(path, (std::string(TestClassKeyA) + "\\InprocServer32").c_str());
    EXPECT_EQ(std::strlen(path), 76u);
}

TEST_F(SettingsStore, FreshMachineLoadsTheDefaults)
{
    CameraSettings settings;
    std::memset(&settings, 0x5A, sizeof(settings));
    LoadCameraSettings(TestClassA, &settings);

    CameraSettings expected = {};
    expected.AutoExposureEnable = 1;
    expected.AutoLevelsEnable = 1;
    std::strcpy(expected.CameraName, "Not used");
    ExpectSameSettings(settings, expected);
    EXPECT_EQ(GainValueList[settings.ExposureGain], 1.0);
    EXPECT_EQ(IntTimeValueList[settings.ExposureIntTime], 10.0);
    EXPECT_EQ(ClipValueList[settings.AutoLevelsMinClip], 10.0);
    EXPECT_EQ(ClipValueList[settings.AutoLevelsMaxClip], 10.0);
}

TEST_F(SettingsStore, ParsesStoredNumbersAsFarAsTheyGo)
{
    struct Case
    {
        const char* text;
        LONG value;
    };
    const Case cases[] = {
        {"  7", 7},
        {"12ab", 12},
        {"-3", -3},
        {"abc", 0},
        {"", 0},
        {"\t+5", 5},
        {"- 4", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) {
        WriteSettingText(path, "Number", c.text);
        EXPECT_EQ(ReadInt("Number", 42), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(ReadInt("Missing", 42), 42);
}

TEST_F(SettingsStore, LettersTurnAnEnableOffWhileAMissingValueLeavesItOn)
{
    WriteSettingText(path, "AutoExposureEnable", "on");
    CameraSettings settings;
    LoadCameraSettings(TestClassA, &settings);
    EXPECT_EQ(settings.AutoExposureEnable, 0);
    EXPECT_EQ(settings.AutoLevelsEnable, 1);
}

TEST_F(SettingsStore, OverlongValuesCountAsMissing)
{
    WriteSettingText(path, "Number", std::string(60, '1').c_str());    // 61 bytes stored
    EXPECT_EQ(ReadInt("Number", 42), 42);
    WriteSettingText(path, "Number", std::string(59, '1').c_str());    // 60 bytes: fits
    EXPECT_EQ(ReadInt("Number", 42), 2147483647);

    WriteSettingText(path, "CameraName", std::string(128, 'n').c_str());
    EXPECT_EQ(ReadText("CameraName", "Not used"), "Not used");
    CameraSettings settings;
    LoadCameraSettings(TestClassA, &settings);
    EXPECT_STREQ(settings.CameraName, "Not used");
}

TEST_F(SettingsStore, TextThatFillsTheBufferWithoutATerminatorCountsAsTooLong)
{
    const std::string full(CameraNameBytes, 'n');
    StoreRaw("CameraName", REG_BINARY, full.data(), CameraNameBytes);
    EXPECT_EQ(ReadText("CameraName", "Not used"), "Not used");

    // Shorter unterminated data is ended where it ends.
    StoreRaw("CameraName", REG_BINARY, "Cam", 3);
    EXPECT_EQ(ReadText("CameraName", "Not used"), "Cam");
}

TEST_F(SettingsStore, DataOfAnyTypeIsParsedAsTextWithinItsLength)
{
    const DWORD seven = 7;
    StoreRaw("Number", REG_DWORD, &seven, sizeof(seven));
    EXPECT_EQ(ReadInt("Number", 42), 0);

    StoreRaw("Number", REG_BINARY, "15", 2);
    EXPECT_EQ(ReadInt("Number", 42), 15);

    // Exactly the buffer's 60 bytes and no terminator: the digits end with the data.
    const std::string full = std::string(58, ' ') + "-4";
    StoreRaw("Number", REG_BINARY, full.data(), DWORD(full.size()));
    EXPECT_EQ(ReadInt("Number", 42), -4);
    const std::string digits(60, '3');
    StoreRaw("Number", REG_BINARY, digits.data(), DWORD(digits.size()));
    EXPECT_EQ(ReadInt("Number", 42), 2147483647);

    StoreRaw("CameraName", REG_DWORD, &seven, sizeof(seven));
    EXPECT_EQ(ReadText("CameraName", "Not used"), "\x07");
}

TEST_F(SettingsStore, NumbersAreStoredAsDecimalText)
{
    WriteSettingInt(path, "Number", -2147483647 - 1);
    UniqueRegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Put()),
              ERROR_SUCCESS);
    char data[64] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(data);
    ASSERT_EQ(RegQueryValueExA(key.Get(), "Number", nullptr, &type, reinterpret_cast<BYTE*>(data),
                               &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(bytes, 12u);
    EXPECT_STREQ(data, "-2147483648");
}

TEST_F(SettingsStore, UpdatesWriteOnlyIntoAKeyThatExists)
{
    EXPECT_EQ(UpdateSettingInt(path, "Number", 3), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(UpdateSettingText(path, "Name", "Test camera"), ERROR_FILE_NOT_FOUND);
    UniqueRegKey probe;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, TestClassKeyA, 0, KEY_QUERY_VALUE, probe.Put()),
              ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(WriteSettingInt(path, "Other", 1), ERROR_SUCCESS);
    EXPECT_EQ(UpdateSettingInt(path, "Number", -7), ERROR_SUCCESS);
    EXPECT_EQ(ReadInt("Number", 0), -7);
    EXPECT_EQ(UpdateSettingText(path, "Name", "Test camera"), ERROR_SUCCESS);
    EXPECT_EQ(ReadText("Name", ""), "Test camera");
}

TEST_F(SettingsStore, StoredSettingsLoadUnchangedExceptTheChangedFlag)
{
    CameraSettings stored = SampleSettings();
    std::memset(stored.CameraName, 'c', 127);
    stored.CameraName[127] = '\0';
    stored.settingsChanged = 1;
    StoreCameraSettings(TestClassA, stored);

    CameraSettings loaded;
    std::memset(&loaded, 0x5A, sizeof(loaded));
    LoadCameraSettings(TestClassA, &loaded);
    CameraSettings expected = stored;
    expected.settingsChanged = 0;
    ExpectSameSettings(loaded, expected);

    UniqueRegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key.Get(), "settingsChanged", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(SettingsStore, UnterminatedCameraNameIsStoredCutAt127Characters)
{
    CameraSettings stored = SampleSettings();
    std::memset(stored.CameraName, 'n', sizeof(stored.CameraName));
    StoreCameraSettings(TestClassA, stored);
    EXPECT_EQ(ReadText("CameraName", "Not used"), std::string(127, 'n'));
}

TEST_F(SettingsStore, VariantsKeepIndependentSettings)
{
    StoreCameraSettings(TestClassA, SampleSettings());
    CameraSettings other;
    LoadCameraSettings(TestClassB, &other);
    ExpectSameSettings(other, DefaultCameraSettings());
    CameraSettings own;
    LoadCameraSettings(TestClassA, &own);
    ExpectSameSettings(own, SampleSettings());
}

TEST_F(SettingsStore, StoredIndexOutsideItsListLoadsAsZero)
{
    CameraSettings stored = SampleSettings();
    stored.ExposureGain = 13;
    stored.ExposureIntTime = 14;
    stored.ExposureMaxGain = -1;
    stored.AutoLevelsMinClip = 8;
    StoreCameraSettings(TestClassA, stored);

    CameraSettings loaded;
    LoadCameraSettings(TestClassA, &loaded);
    EXPECT_EQ(loaded.ExposureGain, 0);
    EXPECT_EQ(loaded.ExposureIntTime, 0);
    EXPECT_EQ(loaded.ExposureMaxGain, 0);
    EXPECT_EQ(loaded.AutoLevelsMinClip, 0);
    // Indices within their lists stay, the last entry of each included.
    EXPECT_EQ(loaded.ExposureMaxIntTime, 9);
    EXPECT_EQ(loaded.AutoLevelsMaxClip, 2);

    CameraSettings edges = SampleSettings();
    edges.ExposureGain = GainValueCount - 1;
    edges.ExposureMaxIntTime = IntTimeValueCount - 1;
    edges.AutoLevelsMaxClip = ClipValueCount - 1;
    SanitiseSettingIndices(&edges);
    EXPECT_EQ(edges.ExposureGain, 12);
    EXPECT_EQ(edges.ExposureMaxIntTime, 13);
    EXPECT_EQ(edges.AutoLevelsMaxClip, 7);
}

}    // namespace
