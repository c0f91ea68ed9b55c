// The capture pin's formats, buffer sizing and the answers capture programs ask of a
// capture pin, against fake downstream pins and allocators.
#include "CaptureFilterSupport.h"
#include "camera/FormatCatalogue.h"
#include "fakes/FakeInputPin.h"
#include "filter/SettingsStore.h"

#include <ks.h>
#include <ksmedia.h>

namespace {

class CapturePin : public CaptureFilterTest
{
protected:
    void SetUp() override
    {
        CaptureFilterTest::SetUp();
        filter = MakeCaptureFilter(TestVariantA, &capture);
        pin = static_cast<IPin*>(CapturePinOf(filter.Get()));
    }
    void TearDown() override
    {
        filter->Stop();
        pin->Disconnect();
        downstream.Disconnect();
        filter->JoinFilterGraph(nullptr, nullptr);
        filter.Reset();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(peerAllocator.References(), 0);
        CaptureFilterTest::TearDown();
    }

    // The one type the pin lists.
    MediaTypePtr ListedType()
    {
        ComPtr<IEnumMediaTypes> types;
        EXPECT_EQ(pin->EnumMediaTypes(types.Put()), S_OK);
        AM_MEDIA_TYPE* type = nullptr;
        EXPECT_EQ(types->Next(1, &type, nullptr), S_OK);
        AM_MEDIA_TYPE* more = nullptr;
        EXPECT_EQ(types->Next(1, &more, nullptr), S_FALSE);
        return MediaTypePtr(type);
    }
    static const BITMAPINFOHEADER& HeaderOf(const AM_MEDIA_TYPE& type)
    {
        return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    }

    CallLog log;
    FakeInputPin downstream{&log};
    FakeAllocator peerAllocator{&log, "peerAllocator"};
    CCapSrc* capture = nullptr;
    ComPtr<IBaseFilter> filter;
    IPin* pin = nullptr;
};

TEST_F(CapturePin, NewPinOffersExactlyTheLargestRgb32Format)
{
    MediaTypePtr type = ListedType();
    ASSERT_TRUE(type);
    EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32));
    EXPECT_EQ(type->lSampleSize, 12582912u);
    EXPECT_EQ(type->cbFormat, 1128u);
    EXPECT_EQ(HeaderOf(*type).biWidth, 2048);
    EXPECT_EQ(HeaderOf(*type).biHeight, -1536);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->AvgTimePerFrame, 1666666);
}

TEST_F(CapturePin, PreferredIndexIsStoredAsGivenAndListedThroughTheCatalogue)
{
    ComPtr<IIPPin> preference = PinPreferenceOf(filter.Get(), TestVariantA);
    LONG index = 0;
    ASSERT_EQ(preference->GetPreferredIndex(&index), S_OK);
    EXPECT_EQ(index, 1);

    const LONG six = 6;
    ASSERT_EQ(preference->SetPreferredIndex(&six), S_OK);
    MediaTypePtr type = ListedType();
    EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB24));
    EXPECT_EQ(HeaderOf(*type).biWidth, 512);
    EXPECT_EQ(type->lSampleSize, 589824u);

    const LONG seven = 7;
    ASSERT_EQ(preference->SetPreferredIndex(&seven), S_OK);
    type = ListedType();
    EXPECT_EQ(HeaderOf(*type).biWidth, 2048);
    EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32));

    char path[SettingsKeyPathBytes] = {};
    ASSERT_TRUE(SettingsKeyPath(TestVariantA.filterClassId, path));
    LONG stored = 0;
    ReadSettingInt(path, "PreferedIndex", 0, &stored);
    EXPECT_EQ(stored, 7);
    ComPtr<IBaseFilter> later = MakeCaptureFilter(TestVariantA);
    ASSERT_EQ(PinPreferenceOf(later.Get(), TestVariantA)->GetPreferredIndex(&index), S_OK);
    EXPECT_EQ(index, 7);

    EXPECT_EQ(preference->GetPreferredIndex(nullptr), E_POINTER);
    EXPECT_EQ(preference->SetPreferredIndex(nullptr), E_POINTER);
}

TEST_F(CapturePin, ReportsTheCaptureCategoryThroughItsPropertySet)
{
    ComPtr<IKsPropertySet> properties;
    ASSERT_EQ(pin->QueryInterface(IID_IKsPropertySet, properties.PutVoid()), S_OK);
    DWORD returned = 0;
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0,
                              &returned),
              S_OK);
    EXPECT_EQ(returned, 16u);
    BYTE shortBuffer[15] = {};
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, shortBuffer, 15,
                              &returned),
              E_UNEXPECTED);
    GUID category = GUID_NULL;
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 16,
                              nullptr),
              S_OK);
    EXPECT_TRUE(IsEqualGUID(category, PIN_CATEGORY_CAPTURE));
    EXPECT_EQ(
        properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0, nullptr),
        E_POINTER);
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, 1, nullptr, 0, &category, 16, &returned),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(properties->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category, 16, &returned),
              E_PROP_SET_UNSUPPORTED);

    DWORD support = 0;
    EXPECT_EQ(properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
    EXPECT_EQ(support, DWORD(KSPROPERTY_SUPPORT_GET));
    EXPECT_EQ(properties->QuerySupported(AMPROPSETID_Pin, 1, &support), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(properties->QuerySupported(GUID_NULL, 0, &support), E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(properties->Set(AMPROPSETID_Pin, 0, nullptr, 0, &category, 16), E_NOTIMPL);
}

TEST_F(CapturePin, EveryInterfaceReachesTheSameOneObject)
{
    ComPtr<IIPPin> preference = PinPreferenceOf(filter.Get(), TestVariantA);
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(preference->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);
    ComPtr<IAMStreamConfig> direct;
    ASSERT_EQ(pin->QueryInterface(IID_IAMStreamConfig, direct.PutVoid()), S_OK);
    EXPECT_EQ(config.Get(), direct.Get());

    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(config->QueryInterface(IID_IAMFilterMiscFlags, flags.PutVoid()), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), ULONG(AM_FILTER_MISC_FLAGS_IS_SOURCE));
    ComPtr<IPin> back;
    ASSERT_EQ(flags->QueryInterface(IID_IPin, back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), pin);
    ComPtr<IIPPin> again;
    ASSERT_EQ(back->QueryInterface(TestVariantA.pinInterfaceId, again.PutVoid()), S_OK);
    EXPECT_EQ(again.Get(), preference.Get());
    EXPECT_EQ(flags->QueryInterface(IID_IAMStreamConfig, nullptr), E_POINTER);
    EXPECT_EQ(config->QueryInterface(IID_IBaseFilter, back.PutVoid()), E_NOINTERFACE);
}

TEST_F(CapturePin, AsksForTenBuffersOfAFrameAndAcceptsFewerButNotSmaller)
{
    MediaTypePtr type = ListedType();
    downstream.proposedAllocator = &peerAllocator;
    peerAllocator.grantBuffersShort = 7;
    ASSERT_EQ(pin->Connect(&downstream, type.get()), S_OK);
    EXPECT_EQ(peerAllocator.lastRequest.cBuffers, 10);
    EXPECT_EQ(peerAllocator.lastRequest.cbBuffer, 12582912);
    ASSERT_EQ(downstream.notifiedAllocators.size(), 1u);
    EXPECT_EQ(downstream.notifiedAllocators[0], &peerAllocator);
    EXPECT_EQ(CapturePinOf(filter.Get())->Camera().Geometry().frameBytes, 12582912);
    EXPECT_EQ(CapturePinOf(filter.Get())->Camera().Geometry().frameRate, 6.0);

    ASSERT_EQ(pin->Disconnect(), S_OK);
    downstream.Disconnect();
    downstream.notifiedAllocators.clear();
    peerAllocator.grantBuffersShort = 0;
    peerAllocator.grantBytesShort = 1;
    ASSERT_EQ(pin->Connect(&downstream, type.get()), S_OK);
    // Refused by the pin (too small), so the platform's allocator was taken instead.
    ASSERT_EQ(downstream.notifiedAllocators.size(), 1u);
    EXPECT_NE(downstream.notifiedAllocators[0], &peerAllocator);
}

TEST_F(CapturePin, BuffersHoldWhatTheCameraWritesWhateverTheHeaderClaims)
{
    MediaTypePtr type = ListedType();
    auto* header = &reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
    header->biSizeImage = 1000;    // disagrees with 2048 x 1536 x 32
    downstream.proposedAllocator = &peerAllocator;
    ASSERT_EQ(pin->Connect(&downstream, type.get()), S_OK);
    EXPECT_EQ(peerAllocator.lastRequest.cbBuffer, 12582912);

    ASSERT_EQ(pin->Disconnect(), S_OK);
    downstream.Disconnect();
    header->biBitCount = 48;    // passes the acceptance rule as RGB32
    ASSERT_EQ(pin->Connect(&downstream, type.get()), S_OK);
    EXPECT_EQ(peerAllocator.lastRequest.cbBuffer, 2048 * 1536 * 6);
    EXPECT_EQ(CapturePinOf(filter.Get())->Camera().Geometry().frameBytes, 2048 * 1536 * 6);
}

TEST_F(CapturePin, ASampleSmallerThanAFrameEndsTheStreamInsteadOfBeingOverrun)
{
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.PutVoid()),
              S_OK);
    ASSERT_EQ(graph->AddFilter(filter.Get(), L"Capture"), S_OK);
    ComPtr<IMediaEvent> events;
    graph->QueryInterface(IID_IMediaEvent, events.PutVoid());

    const LONG three = 3;    // 512 x 384 x 32: small buffers, quick to fill
    PinPreferenceOf(filter.Get(), TestVariantA)->SetPreferredIndex(&three);
    MediaTypePtr type = ListedType();
    downstream.proposedAllocator = &peerAllocator;
    peerAllocator.hiddenBytesShort = 4;    // says it granted a frame, hands out less
    ASSERT_EQ(pin->Connect(&downstream, type.get()), S_OK);
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForEndOfStream());
    EXPECT_EQ(downstream.received, 0);

    OAEVENT handle = 0;
    ASSERT_EQ(events->GetEventHandle(&handle), S_OK);
    long code = 0;
    LONG_PTR first = 0, second = 0;
    bool aborted = false;
    while (!aborted
           && WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 20000) == WAIT_OBJECT_0) {
        while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
            events->FreeEventParams(code, first, second);
            if (code == EC_ERRORABORT) {
                aborted = true;
                EXPECT_EQ(HRESULT(first), VFW_E_BUFFER_OVERFLOW);
            }
        }
    }
    EXPECT_TRUE(aborted);
    filter->Stop();
    graph->RemoveFilter(filter.Get());
}

}    // namespace
