// Registration of the built module as a user does it, with regsvr32, and what the
// platform then makes of it: class keys, the device enumerator, working filters.
#include "ModuleUnderTest.h"
#include "Orvix61Test.h"
#include "PlatformGraph.h"

#include <dshow.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

namespace {
struct RegisteredClass
{
    CLSID classId;
    const char* name;
};

const RegisteredClass classes[] = {
    {CLSID_Orvix61CapSrc1, "Orvix61 Capture Source Test 1"},
    {CLSID_Orvix61CapSrc2, "Orvix61 Capture Source Test 2"},
    {CLSID_Orvix61CapSrc3, "Orvix61 Capture Source Test 3"},
    {CLSID_Orvix61CapSrc4, "Orvix61 Capture Source Test 4"},
    {CLSID_Orvix61FilterPage1, "Orvix 61 Filter Property Page"},
    {CLSID_Orvix61FilterPage2, "Orvix 61 Filter Property Page"},
    {CLSID_Orvix61FilterPage3, "Orvix 61 Filter Property Page"},
    {CLSID_Orvix61FilterPage4, "Orvix 61 Filter Property Page"},
    {CLSID_Orvix61PinPage1, "Orvix 61 Pin Property Page"},
    {CLSID_Orvix61PinPage2, "Orvix 61 Pin Property Page"},
    {CLSID_Orvix61PinPage3, "Orvix 61 Pin Property Page"},
    {CLSID_Orvix61PinPage4, "Orvix 61 Pin Property Page"},
};

const wchar_t* const deviceNames[] = {
    L"Orvix61 Capture Source Test 1",
    L"Orvix61 Capture Source Test 2",
    L"Orvix61 Capture Source Test 3",
    L"Orvix61 Capture Source Test 4",
};

std::string ClassKey(REFCLSID classId)
{
    return "CLSID\\" + GuidText(classId);
}

std::string SettingsKey(REFCLSID classId)
{
    return "Software\\Classes\\CLSID\\" + GuidText(classId) + "\\InprocServer32";
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Every test starts from an unregistered module and leaves it so.
class ServerRegistration : public ::testing::Test
{
protected:
    void SetUp() override { ExpectRegsvr32Succeeds(true); }
    void TearDown() override { ExpectRegsvr32Succeeds(true); }

    static void ExpectRegsvr32Succeeds(bool unregister)
    {
        const ProgramResult run = Regsvr32(unregister);
        ASSERT_TRUE(run.finished) << run.output;
        EXPECT_EQ(0u, run.exitCode) << run.output;
    }

    static ComPtr<IBaseFilter> CreateVariant(REFCLSID classId)
    {
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(S_OK, CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         filter.PutVoid()));
        return filter;
    }

    // Objects made through the platform live in the module that COM loaded, which is
    // the one this process loads again by the same path.
    static void ExpectNoObjectLeft()
    {
        LoadedModule module;
        ASSERT_TRUE(module.IsLoaded());
        EXPECT_EQ(S_OK, module.CanUnloadNow());
    }
};
}    // namespace

TEST_F(ServerRegistration, Regsvr32WritesEveryClassKeyAndRemovesThemAgain)
{
    ExpectRegsvr32Succeeds(false);
    for (const RegisteredClass& registered : classes) {
        const std::string key = ClassKey(registered.classId);
        SCOPED_TRACE(key);
        EXPECT_EQ(registered.name, RegistryText(HKEY_CLASSES_ROOT, key, nullptr));
        const std::string server = key + "\\InprocServer32";
        EXPECT_STRCASEEQ(Narrow(ModulePath()).c_str(),
                         RegistryText(HKEY_CLASSES_ROOT, server, nullptr).c_str());
        EXPECT_EQ("Both", RegistryText(HKEY_CLASSES_ROOT, server, "ThreadingModel"));
    }

    ExpectRegsvr32Succeeds(true);
    for (const RegisteredClass& registered : classes)
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(registered.classId)));
    std::vector<VideoDevice> devices;
    ASSERT_EQ(S_OK, ListVideoDevices(&devices));
    for (const wchar_t* name : deviceNames)
        EXPECT_EQ(0, CountDevicesNamed(devices, name));
}

TEST_F(ServerRegistration, RegisteringTwiceListsEachDeviceOnce)
{
    ExpectRegsvr32Succeeds(false);
    ExpectRegsvr32Succeeds(false);
    std::vector<VideoDevice> devices;
    ASSERT_EQ(S_OK, ListVideoDevices(&devices));
    for (const wchar_t* name : deviceNames)
        EXPECT_EQ(1, CountDevicesNamed(devices, name)) << Narrow(name);
}

TEST_F(ServerRegistration, FiltersAreInTheMappersDefaultCategoryAtDoNotUseMerit)
{
    ExpectRegsvr32Succeeds(false);
    ComPtr<IFilterMapper2> mapper;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IFilterMapper2, mapper.PutVoid()));
    // The mapper names each entry "...{category}\\{filter}"; count the variants' entries
    // in `category` that a search from `lowestMerit` up finds.
    auto countVariants = [&](REFCLSID category, DWORD lowestMerit) {
        const GUID videoOutput[] = {MEDIATYPE_Video, GUID_NULL};
        ComPtr<IEnumMoniker> found;
        EXPECT_EQ(S_OK, mapper->EnumMatchingFilters(found.Put(), 0, FALSE, lowestMerit, FALSE, 0,
                                                    nullptr, nullptr, nullptr, FALSE, TRUE, 1,
                                                    videoOutput, nullptr, nullptr));
        int count = 0;
        ComPtr<IMoniker> moniker;
        while (found && found->Next(1, moniker.Put(), nullptr) == S_OK) {
            CoTaskMemPtr<wchar_t> displayName;
            if (FAILED(moniker->GetDisplayName(nullptr, nullptr, displayName.Put())))
                continue;
            std::string name = Narrow(displayName.Get());
            for (char& character : name)
                character = char(toupper(static_cast<unsigned char>(character)));
            for (int variant = 0; variant < 4; ++variant)
                count += name.find(GuidText(category) + "\\" + GuidText(classes[variant].classId))
                         != std::string::npos;
        }
        return count;
    };
    const CLSID defaultCategory = CLSID_LegacyAmFilterCategory;
    EXPECT_EQ(4, countVariants(defaultCategory, MERIT_DO_NOT_USE));
    EXPECT_EQ(0, countVariants(defaultCategory, MERIT_DO_NOT_USE + 1));
}

TEST_F(ServerRegistration, DeviceEnumeratorListsTheVariantsAndMakesWorkingFilters)
{
    ExpectRegsvr32Succeeds(false);
    std::vector<VideoDevice> devices;
    ASSERT_EQ(S_OK, ListVideoDevices(&devices));
    for (int variant = 0; variant < 4; ++variant) {
        SCOPED_TRACE(Narrow(deviceNames[variant]));
        const VideoDevice* device = nullptr;
        for (const VideoDevice& candidate : devices)
            if (candidate.name == deviceNames[variant])
                device = &candidate;
        ASSERT_NE(nullptr, device);

        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(S_OK, device->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                      filter.PutVoid()));
        CLSID classId = {};
        EXPECT_EQ(S_OK, filter->GetClassID(&classId));
        EXPECT_TRUE(IsEqualCLSID(classes[variant].classId, classId));

        GrabberRecorder recorder;
        PlatformGraph graph;
        ASSERT_EQ(S_OK, graph.Build(filter.Get(), &recorder, deviceNames[variant]));
        ASSERT_EQ(S_OK, graph.ConnectSource());
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(recorder.WaitForSamples(2));
        graph.control->Stop();
        const std::vector<GrabbedSample> samples = recorder.Samples();
        EXPECT_EQ(12582912, samples[0].length);
        EXPECT_EQ(100000, samples[1].start - samples[0].start);
    }
    ExpectNoObjectLeft();
}

TEST_F(ServerRegistration, UnregisteringAnUnregisteredModuleSucceeds)
{
    ExpectRegsvr32Succeeds(true);
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
    EXPECT_EQ(S_OK, module.UnregisterServer());
}

TEST_F(ServerRegistration, UnregisteringForgetsStoredSettings)
{
    ExpectRegsvr32Succeeds(false);
    {
        ComPtr<IBaseFilter> filter = CreateVariant(CLSID_Orvix61CapSrc2);
        ASSERT_TRUE(filter);
        ComPtr<IIPFilter> settingsInterface;
        ASSERT_EQ(S_OK, filter->QueryInterface(IID_IIPFilter2, settingsInterface.PutVoid()));
        CameraSettings changed = {};
        ASSERT_EQ(S_OK, settingsInterface->GetCameraSettings(&changed));
        changed.ExposureGain = 5;
        changed.AutoExposureEnable = 0;
        strcpy(changed.CameraName, "Test camera 3");
        ASSERT_EQ(S_OK, settingsInterface->SetCameraSettings(&changed));

        ComPtr<IPin> pin = FindPinByDirection(filter.Get(), PINDIR_OUTPUT);
        ComPtr<IIPPin> pinInterface;
        ASSERT_EQ(S_OK, pin->QueryInterface(IID_IIPPin2, pinInterface.PutVoid()));
        const LONG smallFormat = 6;
        ASSERT_EQ(S_OK, pinInterface->SetPreferredIndex(&smallFormat));
    }
    ASSERT_EQ("5",
              RegistryText(HKEY_LOCAL_MACHINE, SettingsKey(CLSID_Orvix61CapSrc2), "ExposureGain"));
    ASSERT_EQ("6",
              RegistryText(HKEY_LOCAL_MACHINE, SettingsKey(CLSID_Orvix61CapSrc2), "PreferedIndex"));

    ExpectRegsvr32Succeeds(true);
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, SettingsKey(CLSID_Orvix61CapSrc2)));

    ExpectRegsvr32Succeeds(false);
    {
        ComPtr<IBaseFilter> filter = CreateVariant(CLSID_Orvix61CapSrc2);
        ASSERT_TRUE(filter);
        ComPtr<IIPFilter> settingsInterface;
        ASSERT_EQ(S_OK, filter->QueryInterface(IID_IIPFilter2, settingsInterface.PutVoid()));
        CameraSettings loaded = {};
        ASSERT_EQ(S_OK, settingsInterface->GetCameraSettings(&loaded));
        EXPECT_EQ(0, loaded.ExposureGain);
        EXPECT_EQ(1, loaded.AutoExposureEnable);
        EXPECT_STREQ("Not used", loaded.CameraName);
        ComPtr<IPin> pin = FindPinByDirection(filter.Get(), PINDIR_OUTPUT);
        ComPtr<IIPPin> pinInterface;
        ASSERT_EQ(S_OK, pin->QueryInterface(IID_IIPPin2, pinInterface.PutVoid()));
        LONG preferred = 0;
        EXPECT_EQ(S_OK, pinInterface->GetPreferredIndex(&preferred));
        EXPECT_EQ(1, preferred);
    }
    ExpectNoObjectLeft();
}
