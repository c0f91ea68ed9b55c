// Registration linked into the test program, with a registration host of the test's own:
// it records messages instead of showing them and hands out mappers that log their calls
// or cannot be made. This program is the "module" its registration names.
#include "NewThread.h"
#include "Orvix61Test.h"
#include "fakes/FakeFilterMapper.h"
#include "module/Registration.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Which mapper the host hands out for each class; null makes the creation fail.
struct TestHost
{
    std::vector<std::string> messages;
    IFilterMapper2* mapper = nullptr;
    HRESULT mapperFailure = REGDB_E_CLASSNOTREG;
    IFilterMapper* oldMapper = nullptr;
    HRESULT oldMapperFailure = REGDB_E_CLASSNOTREG;
};
TestHost* host = nullptr;

void RecordMessage(const char* text)
{
    host->messages.push_back(text);
}

HRESULT CreateTestMapper(REFCLSID classId, REFIID iid, void** out)
{
    *out = nullptr;
    IUnknown* mapper = nullptr;
    HRESULT failure = E_UNEXPECTED;
    if (IsEqualCLSID(classId, CLSID_FilterMapper2)) {
        mapper = host->mapper;
        failure = host->mapperFailure;
    } else if (IsEqualCLSID(classId, CLSID_FilterMapper)) {
        mapper = host->oldMapper;
        failure = host->oldMapperFailure;
    }
    return mapper ? mapper->QueryInterface(iid, out) : failure;
}

const CLSID* const variantClasses[] = {&CLSID_Orvix61CapSrc1, &CLSID_Orvix61CapSrc2,
                                       &CLSID_Orvix61CapSrc3, &CLSID_Orvix61CapSrc4};
const std::string videoCategory = MapperText(&CLSID_VideoInputDeviceCategory);

std::string VariantName(int variant)
{
    return "Orvix61 Capture Source Test " + std::to_string(variant + 1);
}

class Registration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IFilterMapper2, platformMapper.PutVoid()));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IFilterMapper, platformOldMapper.PutVoid()));
        host = &testHost;
        registrationHost = {RecordMessage, CreateTestMapper};
    }

    // Whatever a test registered (this program, as the module) goes again.
    void TearDown() override
    {
        registrationHost = platformHost;
        EXPECT_EQ(S_OK, DllUnregisterServer());
        host = nullptr;
    }

    const RegistrationHost platformHost = registrationHost;
    ComPtr<IFilterMapper2> platformMapper;
    ComPtr<IFilterMapper> platformOldMapper;
    TestHost testHost;
};
}    // namespace

TEST_F(Registration, OlderMapperRegistersFiltersPinsAndTypesWhenTheNewerCannotBeMade)
{
    FakeFilterMapper oldMapper(platformOldMapper.Get());
    testHost.oldMapper = &oldMapper;

    ASSERT_EQ(S_OK, AMovieDllRegisterServer2(TRUE));
    std::vector<std::string> expected;
    for (int variant = 0; variant < 4; ++variant) {
        const std::string filter = MapperText(variantClasses[variant]);
        expected.push_back("UnregisterFilter " + filter);
        expected.push_back("RegisterFilter " + filter + " " + VariantName(variant)
                           + " merit 0x00200000");
        expected.push_back("RegisterPin " + filter + " Output rendered 0 output 1 zero 0 many 0 to "
                           + MapperText(&CLSID_NULL) + " none");
        expected.push_back("RegisterPinType " + filter + " Output " + MapperText(&MEDIATYPE_Video)
                           + " " + MapperText(&MEDIASUBTYPE_NULL));
    }
    EXPECT_EQ(expected, oldMapper.log.Calls());
    EXPECT_TRUE(testHost.messages.empty());

    // The category needs the newer mapper.
    EXPECT_EQ(REGDB_E_CLASSNOTREG, DllRegisterServer());
    EXPECT_EQ(std::vector<std::string>{"Failed CoCreateInstance"}, testHost.messages);
    EXPECT_EQ(0, oldMapper.References());
}

TEST_F(Registration, ShowsOneMessageAndPassesTheFailureOnWhenNoMapperCanBeMade)
{
    testHost.oldMapperFailure = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, DllRegisterServer());
    EXPECT_EQ(std::vector<std::string>{"Failed AMovieDllRegisterServer2"}, testHost.messages);

    // Unregistering reports through its result alone.
    testHost.messages.clear();
    EXPECT_EQ(E_OUTOFMEMORY, DllUnregisterServer());
    EXPECT_TRUE(testHost.messages.empty());
}

TEST_F(Registration, ReplacesDefaultCategoryEntriesThenStopsAtTheFirstFailedCategoryEntry)
{
    FakeFilterMapper2 mapper(platformMapper.Get());
    mapper.failingCategoryRegistration = 2;
    testHost.mapper = &mapper;

    EXPECT_EQ(E_ACCESSDENIED, DllRegisterServer());
    EXPECT_EQ(std::vector<std::string>{"Failed pFM2->RegisterFilter CLSID_Orvix61CapSrc"},
              testHost.messages);

    const std::string pins = " pin Output output 1 rendered 0 type " + MapperText(&MEDIATYPE_Video)
                             + " " + MapperText(&MEDIASUBTYPE_NULL);
    std::vector<std::string> expected;
    for (int variant = 0; variant < 4; ++variant) {
        const std::string filter = MapperText(variantClasses[variant]);
        expected.push_back("UnregisterFilter " + filter + " category none instance none");
        expected.push_back("RegisterFilter " + filter + " " + VariantName(variant)
                           + " category none instance none version 1 merit 0x00200000" + pins);
    }
    for (int variant = 0; variant < 2; ++variant)
        expected.push_back("RegisterFilter " + MapperText(variantClasses[variant]) + " "
                           + VariantName(variant) + " category " + videoCategory
                           + " instance none version 1 merit 0x00600000" + pins);
    EXPECT_EQ(expected, mapper.log.Calls());
    EXPECT_EQ(0, mapper.References());
}

TEST_F(Registration, CountsRegistrationsThatAreNotThereAsRemoved)
{
    FakeFilterMapper2 mapper(platformMapper.Get());
    FakeFilterMapper oldMapper(platformOldMapper.Get());
    mapper.unregisterFindsNothing = true;
    oldMapper.unregisterFindsNothing = true;
    const FilterSetupRecord* filter = FactoryTemplates[0].setupDescription;

    EXPECT_EQ(S_OK, RegisterWithFilterMapper(filter, &mapper, FALSE));
    EXPECT_EQ(S_OK, RegisterWithOldFilterMapper(filter, &oldMapper, FALSE));
    EXPECT_EQ(S_FALSE, RegisterWithFilterMapper(nullptr, &mapper, FALSE));
    EXPECT_EQ(S_FALSE, RegisterWithOldFilterMapper(nullptr, &oldMapper, TRUE));
    EXPECT_EQ(1u, mapper.log.Calls().size());
    EXPECT_EQ(1u, oldMapper.log.Calls().size());

    // With the platform's own mappers, nothing registered is nothing to fail on.
    registrationHost = platformHost;
    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_EQ(0, mapper.References());
    EXPECT_EQ(0, oldMapper.References());
}

TEST_F(Registration, LeavesTheCallersMultithreadedApartmentInitialised)
{
    registrationHost = platformHost;
    HRESULT registered = E_FAIL, stillInitialised = E_FAIL;
    ASSERT_TRUE(RunOnNewThread([&] {
        ComApartment apartment(COINIT_MULTITHREADED);
        if (FAILED(apartment.Result()))
            return;
        registered = AMovieDllRegisterServer2(TRUE);
        ComPtr<IFilterGraph> graph;
        stillInitialised = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IFilterGraph, graph.PutVoid());
    }));
    EXPECT_EQ(S_OK, registered);
    EXPECT_EQ(S_OK, stillInitialised);
}

TEST(DeleteKeyTree, RemovesAKeyWithEverythingBelowItAndNothingElse)
{
    // A class of this test's own, registered the way the module registers its classes.
    const CLSID testClass = {
        0x5B0F3C2E, 0x41D7, 0x4E58, {0x9A, 0x61, 0x0C, 0x7E, 0x2B, 0x93, 0xD4, 0x18}};
    const std::string classKey = "CLSID\\" + MapperText(&testClass);
    ASSERT_EQ(S_OK, RegisterClassServer(testClass, L"Key tree test", L"C:\\nowhere\\test.ax",
                                        L"Both", L"InprocServer32"));
    UniqueRegKey deeper;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32\\a\\b").c_str(),
                            deeper.Put()));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(deeper.Get(), "ExposureGain", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("3"), 2));
    deeper.Reset();
    UniqueRegKey server;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32").c_str(), 0, KEY_READ,
                            server.Put()));
    char text[MAX_PATH] = {};
    DWORD bytes = sizeof(text);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(server.Get(), nullptr, "ThreadingModel", RRF_RT_REG_SZ,
                                          nullptr, text, &bytes));
    EXPECT_STREQ("Both", text);
    server.Reset();

    EXPECT_EQ(E_FAIL, DeleteKeyTree(HKEY_CLASSES_ROOT, ""));
    EXPECT_EQ(S_OK, DeleteKeyTree(HKEY_CLASSES_ROOT, classKey.c_str()));
    UniqueRegKey gone;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, gone.Put()));
    UniqueRegKey classes;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, classes.Put()));
    EXPECT_EQ(S_OK, DeleteKeyTree(HKEY_CLASSES_ROOT, classKey.c_str()));
}
