// orvix-camera run as a user runs it, against the built module registered with regsvr32:
// what it stores, as the registry and a filter made through the registered module then
// see it, what it shows, and how it refuses.
#include "ModuleUnderTest.h"
#include "Orvix61Test.h"
#include "PlatformGraph.h"
#include "ToolText.h"
#include "framework/MediaType.h"

#include <gtest/gtest.h>

#include <string>

namespace {
ProgramResult RunTool(const std::wstring& arguments)
{
    return RunToolAt(ORVIX_CAMERA_TOOL_PATH, arguments);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string ClassKey(REFCLSID classId)
{
    return "Software\\Classes\\CLSID\\" + GuidText(classId);
}

std::string SettingsKey(REFCLSID classId)
{
    return ClassKey(classId) + "\\InprocServer32";
}

void StoreRawText(REFCLSID classId, const char* valueName, const std::string& text)
{
    UniqueRegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey(classId).c_str(), 0, KEY_SET_VALUE,
                            key.Put()),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.Get(), valueName, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1)),
              ERROR_SUCCESS);
}

// Every test starts from a registered module and nothing stored, and leaves the module
// unregistered, which removes what the tool stored.
class CameraTool : public ::testing::Test
{
protected:
    void SetUp() override { Register(false); }
    void TearDown() override
    {
        if (keyLocked) {
            EXPECT_EQ(SetRegistryKeyAccess(HKEY_LOCAL_MACHINE, SettingsKey(CLSID_Orvix61CapSrc1),
                                           "D:(A;;KA;;;WD)"),
                      ERROR_SUCCESS);
        }
        Register(true);
        // A key one test made for a module that was not registered.
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, ClassKey(CLSID_Orvix61CapSrc1).c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, ClassKey(CLSID_Orvix61CapSrc1).c_str());
    }

    static void Register(bool unregister)
    {
        const ProgramResult run = Regsvr32(unregister);
        ASSERT_TRUE(run.finished && run.exitCode == 0) << run.output;
    }

    // Runs the tool and checks how it ended.
    static std::string Run(const std::wstring& arguments, DWORD exitCode)
    {
        const ProgramResult run = RunTool(arguments);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(exitCode, run.exitCode) << run.output;
        return run.output;
    }

    static std::string Stored(REFCLSID classId, const char* valueName)
    {
        return RegistryText(HKEY_LOCAL_MACHINE, SettingsKey(classId), valueName);
    }

    // Device 1's settings key, readable by all and writable by none until the test ends:
    // its owner may always give the access back.
    void LockDeviceOneReadOnly()
    {
        ASSERT_EQ(SetRegistryKeyAccess(HKEY_LOCAL_MACHINE, SettingsKey(CLSID_Orvix61CapSrc1),
                                       "D:P(A;;KR;;;WD)"),
                  ERROR_SUCCESS);
        keyLocked = true;
    }

    bool keyLocked = false;
};

// A new filter of the variant, made through the registered module as hosts make it.
ComPtr<IBaseFilter> MakeFilter(REFCLSID classId)
{
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(S_OK, CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     filter.PutVoid()));
    return filter;
}

// The scenario a new filter of the variant runs, as it writes it back, or "<none>" when
// it cannot be asked.
std::string ScenarioOfANewFilter(REFCLSID classId)
{
    ComPtr<IBaseFilter> filter = MakeFilter(classId);
    ComPtr<IIPFaultScenario> scenario;
    CoTaskMemPtr<char> running;
    if (!filter || FAILED(filter->QueryInterface(IID_IIPFaultScenario, scenario.PutVoid()))
        || FAILED(scenario->GetFaultScenario(running.Put())) || !running.Get())
        return "<none>";
    return running.Get();
}

// Every object made through the platform is gone: the module COM loaded, the one this
// process loads again by the same path, may unload.
void ExpectNoObjectLeft()
{
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

// The block --show and --list print for a registered device.
std::string DeviceBlock(int device, const std::string& format, const std::string& scenario)
{
    return "Device " + std::to_string(device) + ": Orvix61 Capture Source Test "
           + std::to_string(device) + "\n  Registered:       yes, " + Utf8(ModulePath())
           + "\n  Preferred format: " + format + "\n  Fault scenario:   " + scenario + "\n";
}
}    // namespace

TEST_F(CameraTool, StoresAFormatAndAScenarioThatShowListAndTheRegistryReadBack)
{
    std::string output =
        Run(L"--device 2 --format 6 --faults \"stall 40 500;drop 17, 5\" --show", 0);
    EXPECT_TRUE(Contains(output, "Orvix61 Capture Source Test 2: preferred format 6 stored, "
                                 "512x384 RGB24 at 30 fps"))
        << output;
    EXPECT_TRUE(Contains(output, "Orvix61 Capture Source Test 2: fault scenario stored, from the "
                                 "next start of the stream: drop 5,17; stall 40 500\n"))
        << output;
    const std::string shown =
        DeviceBlock(2, "6, 512x384 RGB24 at 30 fps (stored: 6)", "drop 5,17; stall 40 500");
    EXPECT_TRUE(Contains(output, shown)) << output;
    EXPECT_EQ("6", Stored(CLSID_Orvix61CapSrc2, "PreferedIndex"));
    EXPECT_EQ("drop 5,17; stall 40 500", Stored(CLSID_Orvix61CapSrc2, "FaultScenario"));

    // Each device keeps its own; the others still hold nothing.
    output = Run(L"--list", 0);
    EXPECT_TRUE(
        Contains(output, "in the registry's " + std::to_string(sizeof(void*) * 8) + "-bit view"))
        << output;
    EXPECT_TRUE(Contains(output, shown)) << output;
    for (int other : {1, 3, 4})
        EXPECT_TRUE(Contains(output, DeviceBlock(other,
                                                 "1, 2048x1536 RGB32 at 6 fps (none stored: the "
                                                 "default)",
                                                 "none")))
            << output;
    EXPECT_FALSE(Contains(output, "Register the")) << output;

    // A second scenario replaces the first; the format stays.
    output = Run(L"--device 2 --faults \"bottom-up\"", 0);
    EXPECT_EQ("bottom-up", Stored(CLSID_Orvix61CapSrc2, "FaultScenario"));
    EXPECT_EQ("6", Stored(CLSID_Orvix61CapSrc2, "PreferedIndex"));
}

TEST_F(CameraTool, AScenarioThatDoesNotParseStoresNothingAndEndsWithExitCode2)
{
    Run(L"--device 1 --faults \"drop 1\"", 0);
    const std::string output = Run(L"--device 1 --format 4 --faults \"drop 3; stall 40\"", 2);
    EXPECT_TRUE(
        Contains(output, "orvix-camera: --faults: the scenario does not parse: \"stall 40\""))
        << output;
    EXPECT_TRUE(Contains(output, "nothing was stored")) << output;
    EXPECT_EQ("drop 1", Stored(CLSID_Orvix61CapSrc1, "FaultScenario"));
    EXPECT_EQ("<missing>", Stored(CLSID_Orvix61CapSrc1, "PreferedIndex"));

    for (const wchar_t* bad : {L"", L"--device 1", L"--device 9 --show", L"--format 3",
                               L"--list --device 1", L"--device 1 --format 8"}) {
        const std::string refused = Run(bad, 2);
        EXPECT_TRUE(Contains(refused, "orvix-camera: ")) << refused;
        EXPECT_TRUE(Contains(refused, "Usage: orvix-camera --list\n")) << refused;
        EXPECT_TRUE(Contains(refused, "--help")) << refused;
    }
    EXPECT_EQ("<missing>", Stored(CLSID_Orvix61CapSrc1, "PreferedIndex"));
    EXPECT_TRUE(Contains(Run(L"--help", 0), "Exit codes:"));
}

TEST_F(CameraTool, ClearRemovesTheScenarioAndNothingElse)
{
    Run(L"--device 3 --format 2 --faults \"end 30\"", 0);
    std::string output = Run(L"--device 3 --clear --show", 0);
    EXPECT_TRUE(Contains(output,
                         "Orvix61 Capture Source Test 3: fault scenario removed, from the next "
                         "start of the stream\n"))
        << output;
    EXPECT_TRUE(Contains(output, DeviceBlock(3, "2, 1024x768 RGB32 at 18 fps (stored: 2)", "none")))
        << output;
    EXPECT_EQ("<missing>", Stored(CLSID_Orvix61CapSrc3, "FaultScenario"));
    EXPECT_EQ("2", Stored(CLSID_Orvix61CapSrc3, "PreferedIndex"));

    output = Run(L"--device 3 --clear", 0);
    EXPECT_TRUE(Contains(output, "Orvix61 Capture Source Test 3: no fault scenario was stored\n"))
        << output;
    // A scenario of no item is the same.
    Run(L"--device 3 --faults \"late-start 20\"", 0);
    Run(L"--device 3 --faults \"\"", 0);
    EXPECT_EQ("<missing>", Stored(CLSID_Orvix61CapSrc3, "FaultScenario"));
}

TEST_F(CameraTool, ShowsAStoredScenarioTheFilterIgnoresAndWhy)
{
    StoreRawText(CLSID_Orvix61CapSrc1, "FaultScenario", "drop 1; frobnicate 2");
    StoreRawText(CLSID_Orvix61CapSrc1, "PreferedIndex", "9");
    StoreRawText(CLSID_Orvix61CapSrc2, "FaultScenario", "drop 1;" + std::string(4100, ' '));
    StoreRawText(CLSID_Orvix61CapSrc3, "FaultScenario", "drop   3 ,1;jitter 2");
    const std::string output = Run(L"--list", 0);
    EXPECT_TRUE(Contains(output, "Device 1: Orvix61 Capture Source Test 1\n")) << output;
    EXPECT_TRUE(Contains(output, "  Preferred format: 1, 2048x1536 RGB32 at 6 fps (stored: 9, "
                                 "outside 1 to 6, so format 1)\n"
                                 "  Fault scenario:   none in effect: the stored text does not "
                                 "parse, and the filter ignores it\n"
                                 "    Stored text:    drop 1; frobnicate 2\n"
                                 "    Problem:        \"frobnicate 2\": is no item"))
        << output;
    EXPECT_TRUE(Contains(output, "  Fault scenario:   none in effect: the stored text is longer "
                                 "than 4095 characters, and the filter ignores it\n"))
        << output;
    // Text stored by hand shows as the filter runs it.
    EXPECT_TRUE(Contains(output, "  Fault scenario:   drop 1,3; jitter 2\n")) << output;

    // The filter agrees: it runs none, or the one written out.
    EXPECT_EQ("", ScenarioOfANewFilter(CLSID_Orvix61CapSrc1));
    EXPECT_EQ("", ScenarioOfANewFilter(CLSID_Orvix61CapSrc2));
    EXPECT_EQ("drop 1,3; jitter 2", ScenarioOfANewFilter(CLSID_Orvix61CapSrc3));
    ExpectNoObjectLeft();
}

TEST_F(CameraTool, AFilterMadeThroughTheRegisteredModuleStartsFromWhatItStored)
{
    Run(L"--device 1 --format 3", 0);
    Run(L"--device 4 --faults \"drop 5; bottom-up\"", 0);
    {
        ComPtr<IBaseFilter> filter = MakeFilter(CLSID_Orvix61CapSrc1);
        ASSERT_TRUE(filter);
        ComPtr<IPin> pin = FindPinByDirection(filter.Get(), PINDIR_OUTPUT);
        ASSERT_TRUE(pin);
        ComPtr<IEnumMediaTypes> types;
        ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.Put()));
        AM_MEDIA_TYPE* first = nullptr;
        ASSERT_EQ(S_OK, types->Next(1, &first, nullptr));
        MediaTypePtr held(first);
        ASSERT_TRUE(IsEqualGUID(FORMAT_VideoInfo, first->formattype));
        ASSERT_GE(first->cbFormat, sizeof(VIDEOINFOHEADER));
        const BITMAPINFOHEADER& header =
            reinterpret_cast<const VIDEOINFOHEADER*>(first->pbFormat)->bmiHeader;
        EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB32, first->subtype));
        EXPECT_EQ(512, header.biWidth);
        EXPECT_EQ(-384, header.biHeight);
    }
    EXPECT_EQ("drop 5; bottom-up", ScenarioOfANewFilter(CLSID_Orvix61CapSrc4));
    ExpectNoObjectLeft();
}

TEST_F(CameraTool, SaysAnUnregisteredDeviceIsNotRegisteredAndMakesNoKeyForIt)
{
    Register(true);
    std::string output = Run(L"--device 1 --format 3 --faults \"drop 2\"", 3);
    EXPECT_TRUE(Contains(output, "orvix-camera: Orvix61 Capture Source Test 1 is not registered "
                                 "in the registry's"))
        << output;
    EXPECT_TRUE(Contains(output, "nothing was stored")) << output;
    EXPECT_TRUE(Contains(output, "install.cmd")) << output;
    EXPECT_TRUE(Contains(output, "regsvr32")) << output;
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, ClassKey(CLSID_Orvix61CapSrc1)));
    Run(L"--device 1 --clear", 3);
    Run(L"--device 1 --show", 3);
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, ClassKey(CLSID_Orvix61CapSrc1)));

    output = Run(L"--list", 0);
    EXPECT_TRUE(Contains(output, "Device 4: Orvix61 Capture Source Test 4\n"
                                 "  Registered:       no (no module is registered for it in "))
        << output;
    EXPECT_TRUE(Contains(output, "Register the ")) << output;

    // A key that a filter made from the module by path left behind names no module: the
    // module is still not registered, and the key gets nothing.
    UniqueRegKey leftOver;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, SettingsKey(CLSID_Orvix61CapSrc1).c_str(), 0,
                              nullptr, 0, KEY_WRITE, nullptr, leftOver.Put(), nullptr),
              ERROR_SUCCESS);
    Run(L"--device 1 --format 2", 3);
    EXPECT_EQ("<missing>", Stored(CLSID_Orvix61CapSrc1, "PreferedIndex"));
}

TEST_F(CameraTool, SaysItNeedsAdministratorRightsWhenTheKeyCannotBeWritten)
{
    Run(L"--device 1 --faults \"drop 7\"", 0);
    LockDeviceOneReadOnly();
    for (const wchar_t* change : {L"--device 1 --format 3 --faults \"drop 2\"",
                                  L"--device 1 --faults \"drop 2\"", L"--device 1 --clear"}) {
        const std::string output = Run(change, 5);
        EXPECT_TRUE(Contains(output, "administrator rights")) << output;
        EXPECT_TRUE(Contains(output, "\"Run as administrator\"")) << output;
        EXPECT_TRUE(Contains(output, "Nothing more was stored.")) << output;
    }
    EXPECT_EQ("drop 7", Stored(CLSID_Orvix61CapSrc1, "FaultScenario"));
    EXPECT_EQ("<missing>", Stored(CLSID_Orvix61CapSrc1, "PreferedIndex"));
    // Reading needs no rights.
    const std::string output = Run(L"--device 1 --show", 0);
    EXPECT_TRUE(Contains(output, "  Fault scenario:   drop 7\n")) << output;
}
