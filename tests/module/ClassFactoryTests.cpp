// The module's class factory and unloading rule, reached as a host reaches them: through
// the exports of the built module.
#include "ModuleUnderTest.h"
#include "Orvix61Test.h"
#include "fakes/FakeUnknown.h"

#include <dshow.h>
#include <gtest/gtest.h>
#include <ocidl.h>

namespace {
struct Variant
{
    const wchar_t* name;
    CLSID filter, filterPage, pinPage;
    IID filterInterface;
};

const Variant variants[] = {
    {L"Orvix61 Capture Source Test 1", CLSID_Orvix61CapSrc1, CLSID_Orvix61FilterPage1,
     CLSID_Orvix61PinPage1, IID_IIPFilter1},
    {L"Orvix61 Capture Source Test 2", CLSID_Orvix61CapSrc2, CLSID_Orvix61FilterPage2,
     CLSID_Orvix61PinPage2, IID_IIPFilter2},
    {L"Orvix61 Capture Source Test 3", CLSID_Orvix61CapSrc3, CLSID_Orvix61FilterPage3,
     CLSID_Orvix61PinPage3, IID_IIPFilter3},
    {L"Orvix61 Capture Source Test 4", CLSID_Orvix61CapSrc4, CLSID_Orvix61FilterPage4,
     CLSID_Orvix61PinPage4, IID_IIPFilter4},
};

// An outer object that aggregates what the factory makes.
class FakeOuter : public FakeUnknown, public IUnknown
{
public:
    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    }
};

class ClassFactory : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.IsLoaded());
        ASSERT_EQ(S_OK, module.CanUnloadNow());
    }

    ComPtr<IClassFactory> Factory(REFCLSID classId, REFIID iid = IID_IClassFactory)
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, module.GetClassObject(classId, iid, factory.PutVoid()));
        return factory;
    }

    LoadedModule module;
};

void* const untouched = reinterpret_cast<void*>(0x1234);
}    // namespace

TEST_F(ClassFactory, MakesFiltersOfEachVariantWithTheirOwnIdentity)
{
    for (const Variant& variant : variants) {
        SCOPED_TRACE(testing::Message() << "variant " << (&variant - variants + 1));
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(
            S_OK,
            Factory(variant.filter)->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()));

        CLSID classId = {};
        EXPECT_EQ(S_OK, filter->GetClassID(&classId));
        EXPECT_TRUE(IsEqualCLSID(variant.filter, classId));
        FILTER_INFO info = {};
        ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
        EXPECT_EQ(nullptr, info.pGraph);

        // Each variant answers its custom interface under its own identifier only.
        for (const Variant& other : variants) {
            ComPtr<IUnknown> custom;
            EXPECT_EQ(&other == &variant ? S_OK : E_NOINTERFACE,
                      filter->QueryInterface(other.filterInterface, custom.PutVoid()));
        }
        ComPtr<ISpecifyPropertyPages> pages;
        ASSERT_EQ(S_OK, filter->QueryInterface(IID_ISpecifyPropertyPages, pages.PutVoid()));
        CAUUID named = {};
        ASSERT_EQ(S_OK, pages->GetPages(&named));
        CoTaskMemPtr<GUID> namedPages(named.pElems);
        ASSERT_EQ(1u, named.cElems);
        EXPECT_TRUE(IsEqualCLSID(variant.filterPage, namedPages.Get()[0]));
    }
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ClassFactory, MakesBothPagesOfEachVariantFromTheModulesResources)
{
    for (const Variant& variant : variants) {
        for (const CLSID* pageClass : {&variant.filterPage, &variant.pinPage}) {
            ComPtr<IPropertyPage> page;
            ASSERT_EQ(
                S_OK,
                Factory(*pageClass)->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()));
            PROPPAGEINFO info = {};
            ASSERT_EQ(S_OK, page->GetPageInfo(&info));
            CoTaskMemPtr<wchar_t> title(info.pszTitle);
            CoTaskMemPtr<wchar_t> docString(info.pszDocString), helpFile(info.pszHelpFile);
            EXPECT_STREQ(pageClass == &variant.filterPage ? L"Orvix61 Filter Page"
                                                          : L"Orvix61 Pin Page",
                         title.Get());
        }
    }
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ClassFactory, HandsOutTheSameFactoryForUnknownAndClassFactory)
{
    ComPtr<IUnknown> asUnknown;
    ASSERT_EQ(S_OK,
              module.GetClassObject(CLSID_Orvix61PinPage2, IID_IUnknown, asUnknown.PutVoid()));
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, asUnknown->QueryInterface(IID_IClassFactory, factory.PutVoid()));
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()));

    ComPtr<IUnknown> other;
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IBaseFilter, other.PutVoid()));
    EXPECT_EQ(nullptr, other.Get());
}

TEST_F(ClassFactory, RefusesUnknownClassesAndInterfacesWithoutWritingTheResult)
{
    void* result = untouched;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              module.GetClassObject(CLSID_FilterGraph, IID_IClassFactory, &result));
    EXPECT_EQ(untouched, result);
    EXPECT_EQ(E_NOINTERFACE, module.GetClassObject(CLSID_Orvix61CapSrc1, IID_IBaseFilter, &result));
    EXPECT_EQ(untouched, result);
    // The interface is judged before the class.
    EXPECT_EQ(E_NOINTERFACE, module.GetClassObject(CLSID_FilterGraph, IID_IBaseFilter, &result));
    EXPECT_EQ(E_POINTER, module.GetClassObject(CLSID_Orvix61CapSrc1, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ClassFactory, AggregatesOnlyThroughTheInnerUnknown)
{
    FakeOuter outer;
    {
        ComPtr<IClassFactory> factory = Factory(CLSID_Orvix61CapSrc3);
        void* result = untouched;
        EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(&outer, IID_IBaseFilter, &result));
        EXPECT_EQ(untouched, result);

        ComPtr<IUnknown> inner;
        ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, inner.PutVoid()));
        EXPECT_EQ(0, outer.References());

        // Interfaces of the aggregated filter count on the outer object.
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(S_OK, inner->QueryInterface(IID_IBaseFilter, filter.PutVoid()));
        EXPECT_EQ(1, outer.References());
        CLSID classId = {};
        EXPECT_EQ(S_OK, filter->GetClassID(&classId));
        EXPECT_TRUE(IsEqualCLSID(CLSID_Orvix61CapSrc3, classId));
        filter.Reset();
        EXPECT_EQ(S_FALSE, module.CanUnloadNow());
    }
    EXPECT_EQ(0, outer.References());
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ClassFactory, DestroysAnObjectThatRefusesTheInterfaceAskedFor)
{
    ComPtr<IClassFactory> factory = Factory(CLSID_Orvix61CapSrc1);
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()));
    EXPECT_EQ(nullptr, page.Get());
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr));
    factory.Reset();
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ClassFactory, KeepsTheModuleWhileAFactoryAnObjectOrALockLives)
{
    ComPtr<IClassFactory> factory = Factory(CLSID_Orvix61CapSrc4);
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());    // the filter and the lock
    filter.Reset();
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());    // the lock alone

    factory = Factory(CLSID_Orvix61CapSrc4);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());    // the factory alone
    factory.Reset();
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}
