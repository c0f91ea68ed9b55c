// The capture filter object: its state answer, its pages, its settings and how it is
// reached when aggregated.
#include "CaptureFilterSupport.h"
#include "fakes/FakeUnknown.h"
#include "filter/CameraValueLists.h"

#include <cstdio>
#include <cstring>

namespace {

class FakeOuter : public FakeUnknown, public IUnknown
{
public:
    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    }
};

using CaptureFilter = CaptureFilterTest;

TEST_F(CaptureFilter, APausedFilterSaysItCannotCue)
{
    ComPtr<IBaseFilter> filter = MakeCaptureFilter(TestVariantA);
    FILTER_STATE state = State_Running;
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(filter->GetState(INFINITE, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    ASSERT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(filter->GetState(0, nullptr), E_POINTER);
    filter->Stop();
}

TEST_F(CaptureFilter, NamesItsVariantsPagesAndIdentity)
{
    for (const FilterVariant* variant : {&TestVariantA, &TestVariantB}) {
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(*variant);
        CLSID id = CLSID_NULL;
        ASSERT_EQ(filter->GetClassID(&id), S_OK);
        EXPECT_TRUE(IsEqualCLSID(id, variant->filterClassId));

        ComPtr<ISpecifyPropertyPages> filterPages;
        ASSERT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, filterPages.PutVoid()), S_OK);
        CAUUID pages = {};
        ASSERT_EQ(filterPages->GetPages(&pages), S_OK);
        CoTaskMemPtr<GUID> owned(pages.pElems);
        ASSERT_EQ(pages.cElems, 1u);
        EXPECT_TRUE(IsEqualGUID(pages.pElems[0], variant->filterPageClassId));
        EXPECT_EQ(filterPages->GetPages(nullptr), E_POINTER);

        ComPtr<ISpecifyPropertyPages> pinPages;
        ASSERT_EQ(static_cast<IPin*>(CapturePinOf(filter.Get()))
                      ->QueryInterface(IID_ISpecifyPropertyPages, pinPages.PutVoid()),
                  S_OK);
        ASSERT_EQ(pinPages->GetPages(&pages), S_OK);
        CoTaskMemPtr<GUID> pinOwned(pages.pElems);
        ASSERT_EQ(pages.cElems, 1u);
        EXPECT_TRUE(IsEqualGUID(pages.pElems[0], variant->pinPageClassId));

        PIN_INFO info = {};
        ASSERT_EQ(static_cast<IPin*>(CapturePinOf(filter.Get()))->QueryPinInfo(&info), S_OK);
        EXPECT_STREQ(info.achName, L"Orvix61 Test Pin");
        info.pFilter->Release();
    }
}

TEST_F(CaptureFilter, AnswersSettingsOnlyUnderItsOwnVariantsIdentifier)
{
    ComPtr<IBaseFilter> filter = MakeCaptureFilter(TestVariantA);
    EXPECT_TRUE(FilterSettingsOf(filter.Get(), TestVariantA));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(filter->QueryInterface(TestVariantB.filterInterfaceId, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_FALSE(PinPreferenceOf(filter.Get(), TestVariantB));
    EXPECT_TRUE(PinPreferenceOf(filter.Get(), TestVariantA));
}

TEST_F(CaptureFilter, AggregatedFilterAnswersPagesItselfAndSendsTheRestOutside)
{
    FakeOuter outer;
    {
        HRESULT hr = S_OK;
        CUnknown* inner = CreateCapSrc(&outer, &hr, TestVariantA);
        ASSERT_EQ(hr, S_OK);
        inner->InnerAddRef();
        IBaseFilter* filter = nullptr;
        ASSERT_EQ(inner->InnerQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
                  S_OK);
        EXPECT_EQ(outer.References(), 1);

        ISpecifyPropertyPages* pages = nullptr;
        ASSERT_EQ(
            filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)),
            S_OK);
        EXPECT_EQ(outer.QueryCount(), 0);    // answered by the filter itself
        EXPECT_EQ(outer.References(), 2);    // but counted on the owner
        EXPECT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, nullptr), E_POINTER);

        IIPFilter* settings = nullptr;
        ASSERT_EQ(inner->InnerQueryInterface(TestVariantA.filterInterfaceId,
                                             reinterpret_cast<void**>(&settings)),
                  S_OK);
        IUnknown* viaSettings = nullptr;
        EXPECT_EQ(settings->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaSettings)),
                  S_OK);
        EXPECT_EQ(viaSettings, static_cast<IUnknown*>(&outer));
        EXPECT_EQ(outer.QueryCount(), 1);
        viaSettings->Release();
        EXPECT_EQ(settings->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&viaSettings)),
                  E_NOINTERFACE);

        settings->Release();
        pages->Release();
        filter->Release();
        EXPECT_EQ(outer.References(), 0);
        inner->InnerRelease();
    }
    EXPECT_EQ(ObjectCount, startCount);
}

TEST_F(CaptureFilter, StartsFromTheDefaultsOnAFreshMachine)
{
    ComPtr<IBaseFilter> filter = MakeCaptureFilter(TestVariantA);
    CameraSettings settings;
    std::memset(&settings, 0xAB, sizeof(settings));
    ASSERT_EQ(FilterSettingsOf(filter.Get(), TestVariantA)->GetCameraSettings(&settings), S_OK);
    const CameraSettings defaults = DefaultCameraSettings();
    EXPECT_EQ(std::memcmp(&settings, &defaults, sizeof(settings)), 0);
    EXPECT_STREQ(settings.CameraName, "Not used");
    EXPECT_EQ(settings.AutoExposureEnable, 1);
    EXPECT_EQ(settings.settingsChanged, 0);
}

TEST_F(CaptureFilter, KeepsTheWholeRecordAndStoresAllButTheChangedFlag)
{
    CameraSettings given = DefaultCameraSettings();
    given.ExposureGain = 5;
    given.ExposureIntTime = 13;
    given.ExposureMaxGain = 12;
    given.ExposureMaxIntTime = 2;
    given.AutoLevelsMinClip = 1;
    given.AutoLevelsMaxClip = 7;
    given.AutoExposureEnable = 0;
    given.AntiFlickerEnable = 1;
    given.AntiFlickerFreq = 1;
    given.settingsChanged = 1;
    std::snprintf(given.CameraName, sizeof(given.CameraName), "%s", "Test camera 3");
    {
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(TestVariantA);
        ComPtr<IIPFilter> settings = FilterSettingsOf(filter.Get(), TestVariantA);
        ASSERT_EQ(settings->SetCameraSettings(&given), S_OK);
        CameraSettings read = {};
        ASSERT_EQ(settings->GetCameraSettings(&read), S_OK);
        EXPECT_EQ(std::memcmp(&read, &given, sizeof(read)), 0);
        EXPECT_EQ(settings->GetCameraSettings(nullptr), E_POINTER);
        EXPECT_EQ(settings->SetCameraSettings(nullptr), E_POINTER);
    }
    ComPtr<IBaseFilter> later = MakeCaptureFilter(TestVariantA);
    CameraSettings loaded = {};
    ASSERT_EQ(FilterSettingsOf(later.Get(), TestVariantA)->GetCameraSettings(&loaded), S_OK);
    CameraSettings expected = given;
    expected.settingsChanged = 0;
    EXPECT_EQ(std::memcmp(&loaded, &expected, sizeof(loaded)), 0);

    ComPtr<IBaseFilter> otherVariant = MakeCaptureFilter(TestVariantB);
    ASSERT_EQ(FilterSettingsOf(otherVariant.Get(), TestVariantB)->GetCameraSettings(&loaded), S_OK);
    EXPECT_EQ(loaded.ExposureGain, 0);
}

TEST_F(CaptureFilter, NeverHoldsAnIndexOutsideItsListOrAnUnendedName)
{
    ComPtr<IBaseFilter> filter = MakeCaptureFilter(TestVariantA);
    ComPtr<IIPFilter> settings = FilterSettingsOf(filter.Get(), TestVariantA);
    CameraSettings given = DefaultCameraSettings();
    given.ExposureGain = 13;
    given.ExposureIntTime = -1;
    given.ExposureMaxGain = 12;
    given.AutoLevelsMaxClip = 1000;
    std::memset(given.CameraName, 'x', sizeof(given.CameraName));
    ASSERT_EQ(settings->SetCameraSettings(&given), S_OK);
    CameraSettings read = {};
    ASSERT_EQ(settings->GetCameraSettings(&read), S_OK);
    EXPECT_EQ(read.ExposureGain, 0);
    EXPECT_EQ(read.ExposureIntTime, 0);
    EXPECT_EQ(read.ExposureMaxGain, 12);
    EXPECT_EQ(read.AutoLevelsMaxClip, 0);
    EXPECT_EQ(std::strlen(read.CameraName), 127u);
}

}    // namespace
