// The module's class factory and unloading rule, reached as a host reaches them: through
// the exports of the built module.
#include "ModuleUnderTest.h"
#include "Orvix61Test.h"
#include "fakes/FakeUnknown.h"

#include <dshow.h>
#include <gtest/gtest.h>
#include <ocidl.h>

#include <vector>

namespace {
struct Variant
{
    const wchar_t* name;
    CLSID filter, filterPage, pinPage;
    IID filterInterface, pinInterface;
};

const Variant variants[] = {
    {L"Orvix61 Capture Source Test 1", CLSID_Orvix61CapSrc1, CLSID_Orvix61FilterPage1,
     CLSID_Orvix61PinPage1, IID_IIPFilter1, IID_IIPPin1},
    {L"Orvix61 Capture Source Test 2", CLSID_Orvix61CapSrc2, CLSID_Orvix61FilterPage2,
     CLSID_Orvix61PinPage2, IID_IIPFilter2, IID_IIPPin2},
    {L"Orvix61 Capture Source Test 3", CLSID_Orvix61CapSrc3, CLSID_Orvix61FilterPage3,
     CLSID_Orvix61PinPage3, IID_IIPFilter3, IID_IIPPin3},
    {L"Orvix61 Capture Source Test 4", CLSID_Orvix61CapSrc4, CLSID_Orvix61FilterPage4,
     CLSID_Orvix61PinPage4, IID_IIPFilter4, IID_IIPPin4},
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

// An outer object that aggregates what the factory makes as COM prescribes: it is the
// object's identity and hands every other identifier to the inner object.
class DelegatingOuter : public FakeUnknown, public IUnknown
{
public:
    IUnknown* inner = nullptr;    // holds no reference: the test holds the inner object

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out || IsEqualIID(iid, IID_IUnknown) || !inner)
            return FakeQueryInterface(iid, out);
        return inner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return FakeAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FakeRelease(); }
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    }
};

// The rules of identity on one object reached through `start`: each identifier of
// `answered` is reached from the object's IUnknown and from every other one, each leads
// back to the same IUnknown, and `refused` is refused through all of them with a null
// result.
void ExpectOneIdentity(IUnknown* start, const std::vector<IID>& answered, REFIID refused)
{
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, start->QueryInterface(IID_IUnknown, identity.PutVoid()));
    for (size_t from = 0; from < answered.size(); ++from) {
        SCOPED_TRACE(testing::Message() << "through interface " << from);
        ComPtr<IUnknown> through;
        ASSERT_EQ(S_OK, identity->QueryInterface(answered[from], through.PutVoid()));
        for (size_t to = 0; to < answered.size(); ++to) {
            ComPtr<IUnknown> reached, reachedIdentity;
            ASSERT_EQ(S_OK, through->QueryInterface(answered[to], reached.PutVoid()))
                << "interface " << to;
            ASSERT_EQ(S_OK, reached->QueryInterface(IID_IUnknown, reachedIdentity.PutVoid()));
            EXPECT_EQ(identity.Get(), reachedIdentity.Get()) << "interface " << to;
        }
        void* none = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(E_NOINTERFACE, through->QueryInterface(refused, &none));
        EXPECT_EQ(nullptr, none);
    }
}

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

// Hosts keep a pin or filter by whichever interface they met first (identity checks, smart
// pointers made from IUnknown): every interface must reach every other.
TEST_F(ClassFactory, EveryInterfaceOfFilterAndPinReachesEveryOtherAndOneIdentity)
{
    for (const Variant& variant : variants) {
        for (bool aggregated : {false, true}) {
            SCOPED_TRACE(testing::Message() << "variant " << (&variant - variants + 1)
                                            << (aggregated ? ", aggregated" : ""));
            DelegatingOuter outer;
            {
                ComPtr<IUnknown> inner;
                ASSERT_EQ(S_OK, Factory(variant.filter)
                                    ->CreateInstance(aggregated ? &outer : nullptr, IID_IUnknown,
                                                     inner.PutVoid()));
                outer.inner = inner.Get();
                IUnknown* filterIdentity = aggregated ? &outer : inner.Get();
                ExpectOneIdentity(filterIdentity,
                                  {IID_IUnknown, IID_IBaseFilter, IID_IMediaFilter, IID_IPersist,
                                   IID_IAMovieSetup, IID_ISpecifyPropertyPages,
                                   IID_IIPFaultScenario, variant.filterInterface},
                                  IID_IPin);

                ComPtr<IBaseFilter> filter;
                ASSERT_EQ(S_OK, filterIdentity->QueryInterface(IID_IBaseFilter, filter.PutVoid()));
                ComPtr<IPin> pin;
                ASSERT_EQ(S_OK, filter->FindPin(L"1", pin.Put()));
                ExpectOneIdentity(pin.Get(),
                                  {IID_IUnknown, IID_IPin, IID_IQualityControl, IID_IAMStreamConfig,
                                   IID_IKsPropertySet, IID_ISpecifyPropertyPages,
                                   IID_IAMFilterMiscFlags, IID_IAMDroppedFrames,
                                   variant.pinInterface},
                                  IID_IBaseFilter);
                pin.Reset();
                filter.Reset();
                outer.inner = nullptr;
            }
            EXPECT_EQ(0, outer.References());
        }
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

TEST_F(ClassFactory, RefusesUnknownClassesAndInterfacesWithANullResult)
{
    void* result = untouched;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              module.GetClassObject(CLSID_FilterGraph, IID_IClassFactory, &result));
    EXPECT_EQ(nullptr, result);
    result = untouched;
    EXPECT_EQ(E_NOINTERFACE, module.GetClassObject(CLSID_Orvix61CapSrc1, IID_IBaseFilter, &result));
    EXPECT_EQ(nullptr, result);
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
        EXPECT_EQ(nullptr, result);

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
