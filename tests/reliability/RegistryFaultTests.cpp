// The settings key as other programs and administrators may leave it: values of the wrong
// type, too long to be ours, names taken by sub-keys, a key nobody may read, and a key
// that cannot be written (locked by its access list, or a volatile key that refuses lasting
// children). A filter built over it starts from the defaults, or from what it can parse,
// never holds an index outside its lists or an unended name, keeps settings it is given in
// memory when they cannot be stored, and says nothing of any of it.
#include "ModuleUnderTest.h"
#include "ReliabilitySupport.h"
#include "fakes/FakeInputPin.h"
#include "filter/CameraValueLists.h"
#include "filter/CaptureFilterSupport.h"
#include "filter/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class RegistryFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveReliabilityKeys();
        serverKey = ReliabilityClassKey() + "\\InprocServer32";
    }
    void TearDown() override
    {
        RemoveReliabilityKeys();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
    }

    void StoreRaw(const char* valueName, DWORD type, const void* data, DWORD bytes)
    {
        UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, serverKey.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExA(key.Get(), valueName, 0, type, static_cast<const BYTE*>(data), bytes),
            ERROR_SUCCESS);
    }
    void StoreText(const char* valueName, const std::string& text)
    {
        StoreRaw(valueName, REG_SZ, text.c_str(), DWORD(text.size() + 1));
    }
    // Replaces the access list of the server key.
    void LockServerKey(const char* sddl)
    {
        ASSERT_EQ(SetRegistryKeyAccess(HKEY_LOCAL_MACHINE, serverKey, sddl), ERROR_SUCCESS);
    }

    CameraSettings SettingsOfANewFilter()
    {
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        CameraSettings settings = {};
        EXPECT_EQ(FilterSettingsOf(filter.Get(), ReliabilityVariant)->GetCameraSettings(&settings),
                  S_OK);
        return settings;
    }
    LONG PreferredIndexOfANewFilter()
    {
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        LONG index = 0;
        EXPECT_EQ(PinPreferenceOf(filter.Get(), ReliabilityVariant)->GetPreferredIndex(&index),
                  S_OK);
        return index;
    }
    // The record selects entries inside its lists and its name ends inside its field.
    static void ExpectWholeRecord(const CameraSettings& settings)
    {
        EXPECT_GE(settings.ExposureGain, 0);
        EXPECT_LT(settings.ExposureGain, GainValueCount);
        EXPECT_GE(settings.ExposureMaxGain, 0);
        EXPECT_LT(settings.ExposureMaxGain, GainValueCount);
        EXPECT_GE(settings.ExposureIntTime, 0);
        EXPECT_LT(settings.ExposureIntTime, IntTimeValueCount);
        EXPECT_GE(settings.ExposureMaxIntTime, 0);
        EXPECT_LT(settings.ExposureMaxIntTime, IntTimeValueCount);
        EXPECT_GE(settings.AutoLevelsMinClip, 0);
        EXPECT_LT(settings.AutoLevelsMinClip, ClipValueCount);
        EXPECT_GE(settings.AutoLevelsMaxClip, 0);
        EXPECT_LT(settings.AutoLevelsMaxClip, ClipValueCount);
        EXPECT_NE(std::memchr(settings.CameraName, '\0', sizeof(settings.CameraName)), nullptr);
        EXPECT_EQ(settings.settingsChanged, 0);
    }
    static void ExpectDefaults(const CameraSettings& settings)
    {
        const CameraSettings defaults = DefaultCameraSettings();
        EXPECT_EQ(std::memcmp(&settings, &defaults, offsetof(CameraSettings, CameraName)), 0);
        EXPECT_STREQ(settings.CameraName, defaults.CameraName);
    }
    static CameraSettings OtherSettings()
    {
        CameraSettings settings = DefaultCameraSettings();
        settings.ExposureGain = 12;
        settings.ExposureIntTime = 13;
        settings.AutoLevelsMaxClip = 7;
        settings.AutoExposureEnable = 0;
        settings.AntiFlickerEnable = 1;
        settings.AntiFlickerFreq = 1;
        std::snprintf(settings.CameraName, sizeof(settings.CameraName), "Test camera 4");
        return settings;
    }
    // A filter that connects (which hands its settings to the camera) and streams.
    void ConnectAndStream(IBaseFilter* filter)
    {
        IPin* pin = static_cast<IPin*>(CapturePinOf(filter));
        CMediaTypeRecord small512;
        FillSmallCatalogueType(&small512);
        ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
        const LONG before = downstream.received;
        ASSERT_EQ(filter->Run(0), S_OK);
        EXPECT_TRUE(downstream.WaitForSamples(before + 3));
        EXPECT_EQ(filter->Stop(), S_OK);
        EXPECT_EQ(pin->Disconnect(), S_OK);
        downstream.Disconnect();
    }

    const LONG startCount = ObjectCount;
    std::string serverKey;
    FakeInputPin downstream{nullptr};
};

TEST_F(RegistryFaults, ValuesOfAnyTypeAreReadAsTheirBytesAndNeverBreakTheRecord)
{
    const DWORD five = 5;    // bytes 05 00 00 00: no digits, so 0
    StoreRaw("ExposureGain", REG_DWORD, &five, sizeof(five));
    StoreRaw("ExposureIntTime", REG_BINARY, "12", 2);    // unterminated digits
    StoreRaw("ExposureMaxGain", REG_MULTI_SZ,
             "3\0"
             "4\0",
             5);
    StoreRaw("ExposureMaxIntTime", REG_EXPAND_SZ, "99", 3);               // outside its list
    StoreRaw("AutoLevelsMinClip", REG_SZ, "-2147483648", 12);             // outside, and the least
    StoreRaw("AutoLevelsMaxClip", REG_SZ, "99999999999999999999", 21);    // beyond any LONG
    StoreRaw("AutoExposureEnable", REG_NONE, "", 0);                      // nothing at all: 0
    const ULONGLONG digits = 0x3131;                                      // "11", then zeros
    StoreRaw("AutoLevelsEnable", REG_QWORD, &digits, sizeof(digits));
    const DWORD letters = 0x44434241;    // "ABCD", unterminated
    StoreRaw("CameraName", REG_DWORD, &letters, sizeof(letters));

    const CameraSettings loaded = SettingsOfANewFilter();
    ExpectWholeRecord(loaded);
    EXPECT_EQ(loaded.ExposureGain, 0);
    EXPECT_EQ(loaded.ExposureIntTime, 12);
    EXPECT_EQ(loaded.ExposureMaxGain, 3);
    EXPECT_EQ(loaded.ExposureMaxIntTime, 0);
    EXPECT_EQ(loaded.AutoLevelsMinClip, 0);
    EXPECT_EQ(loaded.AutoLevelsMaxClip, 0);
    EXPECT_EQ(loaded.AutoExposureEnable, 0);
    EXPECT_EQ(loaded.AutoLevelsEnable, 11);
    EXPECT_STREQ(loaded.CameraName, "ABCD");

    ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
    ConnectAndStream(filter.Get());
}

TEST_F(RegistryFaults, OverlongValuesCountAsMissing)
{
    StoreText("ExposureGain", "7" + std::string(60, ' '));     // 62 bytes with its end
    StoreText("AutoExposureEnable", std::string(200, '0'));    // missing, so 1, not 0
    StoreText("CameraName", std::string(128, 'x'));            // 129 bytes with its end
    StoreText("PreferedIndex", "5" + std::string(100, ' '));
    std::vector<BYTE> huge(1 << 20, '3');
    StoreRaw("ExposureIntTime", REG_BINARY, huge.data(), DWORD(huge.size()));
    StoreRaw("AntiFlickerEnable", REG_SZ, huge.data(), DWORD(huge.size()));

    const CameraSettings loaded = SettingsOfANewFilter();
    ExpectWholeRecord(loaded);
    ExpectDefaults(loaded);
    EXPECT_EQ(PreferredIndexOfANewFilter(), 1);
}

TEST_F(RegistryFaults, NamesTakenBySubkeysAndAKeyNobodyMayReadGiveTheDefaults)
{
    for (const char* name : {"ExposureGain", "CameraName", "PreferedIndex"}) {
        UniqueRegKey subkey;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (serverKey + "\\" + name).c_str(), 0, nullptr,
                                  0, KEY_WRITE, nullptr, subkey.Put(), nullptr),
                  ERROR_SUCCESS);
    }
    ExpectDefaults(SettingsOfANewFilter());
    EXPECT_EQ(PreferredIndexOfANewFilter(), 1);

    StoreText("ExposureGain", "4");
    StoreText("PreferedIndex", "3");
    LockServerKey("D:P(D;;KA;;;WD)");    // everyone is denied everything
    {
        UniqueRegKey probe;
        ASSERT_EQ(
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, serverKey.c_str(), 0, KEY_QUERY_VALUE, probe.Put()),
            ERROR_ACCESS_DENIED);
    }
    ExpectDefaults(SettingsOfANewFilter());
    EXPECT_EQ(PreferredIndexOfANewFilter(), 1);

    // Nor can it be written: the new settings live on in the filter alone.
    ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
    CameraSettings given = OtherSettings();
    EXPECT_EQ(FilterSettingsOf(filter.Get(), ReliabilityVariant)->SetCameraSettings(&given), S_OK);
    CameraSettings held = {};
    EXPECT_EQ(FilterSettingsOf(filter.Get(), ReliabilityVariant)->GetCameraSettings(&held), S_OK);
    EXPECT_EQ(std::memcmp(&held, &given, sizeof(held)), 0);
    ConnectAndStream(filter.Get());
}

TEST_F(RegistryFaults, AKeyThatCannotBeWrittenKeepsNewSettingsInMemoryAndOldOnesStored)
{
    // Once locked read-only by its access list, then as a volatile key that refuses to
    // hold the lasting sub-key the settings go in.
    const CameraSettings stored = OtherSettings();
    StoreCameraSettings(ReliabilityVariant.filterClassId, stored);
    StoreText("PreferedIndex", "3");
    LockServerKey("D:P(A;;KR;;;WD)");
    for (int lock = 0; lock < 2; ++lock) {
        SCOPED_TRACE(lock == 0 ? "read-only key" : "volatile parent key");
        if (lock == 1) {
            RemoveReliabilityKeys();
            UniqueRegKey classKey;
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ReliabilityClassKey().c_str(), 0, nullptr,
                                      REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, classKey.Put(),
                                      nullptr),
                      ERROR_SUCCESS);
        }
        const CameraSettings before = SettingsOfANewFilter();
        const LONG indexBefore = PreferredIndexOfANewFilter();
        EXPECT_EQ(before.ExposureGain, lock == 0 ? stored.ExposureGain : 0);
        EXPECT_EQ(indexBefore, lock == 0 ? 3 : 1);

        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        ComPtr<IIPFilter> settings = FilterSettingsOf(filter.Get(), ReliabilityVariant);
        CameraSettings given = DefaultCameraSettings();
        given.ExposureGain = 5;
        given.AutoLevelsMinClip = 3;
        given.settingsChanged = 1;
        std::snprintf(given.CameraName, sizeof(given.CameraName), "Test camera 2");
        EXPECT_EQ(settings->SetCameraSettings(&given), S_OK);
        CameraSettings held = {};
        EXPECT_EQ(settings->GetCameraSettings(&held), S_OK);
        EXPECT_EQ(std::memcmp(&held, &given, sizeof(held)), 0);
        const LONG index = 5;
        EXPECT_EQ(PinPreferenceOf(filter.Get(), ReliabilityVariant)->SetPreferredIndex(&index),
                  S_OK);
        LONG heldIndex = 0;
        EXPECT_EQ(PinPreferenceOf(filter.Get(), ReliabilityVariant)->GetPreferredIndex(&heldIndex),
                  S_OK);
        EXPECT_EQ(heldIndex, 5);

        // The camera is given what the filter holds.
        ConnectAndStream(filter.Get());
        const CameraParameters& camera = CapturePinOf(filter.Get())->Camera().Parameters();
        EXPECT_EQ(camera.gain, GainValueList[5]);
        EXPECT_EQ(camera.minClip, ClipValueList[3]);
        EXPECT_STREQ(camera.cameraName, "Test camera 2");

        // The next filter finds what was there before.
        UniqueRegKey written;
        EXPECT_EQ(
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, serverKey.c_str(), 0, KEY_QUERY_VALUE, written.Put()),
            lock == 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        const CameraSettings after = SettingsOfANewFilter();
        EXPECT_EQ(std::memcmp(&after, &before, sizeof(after)), 0);
        EXPECT_EQ(PreferredIndexOfANewFilter(), indexBefore);
    }
}

}    // namespace
