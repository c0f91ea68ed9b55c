// IAMStreamConfig of the capture pin: current format, capabilities, imposed formats.
#include "CaptureFilterSupport.h"
#include "PlatformGraph.h"
#include "camera/FormatCatalogue.h"
#include "fakes/FakeGraph.h"
#include "fakes/FakeInputPin.h"

#include <cstring>

namespace {

class StreamConfig : public CaptureFilterTest
{
protected:
    void SetUp() override
    {
        CaptureFilterTest::SetUp();
        filter = MakeCaptureFilter(TestVariantA);
        pin = static_cast<IPin*>(CapturePinOf(filter.Get()));
        ASSERT_EQ(pin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);
    }
    void TearDown() override
    {
        config.Reset();
        pin->Disconnect();
        downstream.Disconnect();
        filter->JoinFilterGraph(nullptr, nullptr);
        filter.Reset();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(graph.References(), 0);
        CaptureFilterTest::TearDown();
    }
    static const BITMAPINFOHEADER& HeaderOf(const AM_MEDIA_TYPE& type)
    {
        return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    }
    MediaTypePtr Caps(int index, VIDEO_STREAM_CONFIG_CAPS* caps)
    {
        AM_MEDIA_TYPE* type = nullptr;
        EXPECT_EQ(config->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(caps)), S_OK);
        return MediaTypePtr(type);
    }

    CallLog log;
    FakeInputPin downstream{&log};
    FakeGraph graph;
    ComPtr<IBaseFilter> filter;
    IPin* pin = nullptr;
    ComPtr<IAMStreamConfig> config;
};

TEST_F(StreamConfig, ReportsOneCapabilityOfOneHundredTwentyEightBytes)
{
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(size, 128);
    EXPECT_EQ(config->GetNumberOfCapabilities(nullptr, &size), E_POINTER);
}

TEST_F(StreamConfig, CapabilityZeroDescribesThePreferredFormat)
{
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    MediaTypePtr type = Caps(0, &caps);
    ASSERT_TRUE(type);
    EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32));
    EXPECT_EQ(type->lSampleSize, 12582912u);
    EXPECT_EQ(type->cbFormat, 88u);
    EXPECT_EQ(caps.InputSize.cx, 2048);
    EXPECT_EQ(caps.InputSize.cy, 1536);
    EXPECT_EQ(caps.MinOutputSize.cx, 2048);
    EXPECT_EQ(caps.MaxCroppingSize.cy, 1536);
    EXPECT_EQ(caps.MinBitsPerSecond, 2013265920);
    EXPECT_EQ(caps.MaxBitsPerSecond, 2013265920);
    EXPECT_EQ(caps.MinFrameInterval, 300000);
    EXPECT_EQ(caps.MaxFrameInterval, 2000000);
    EXPECT_TRUE(IsEqualGUID(caps.guid, FORMAT_VideoInfo));
}

TEST_F(StreamConfig, CatalogueFormatsAreReachableAndOtherIndexesMeanTheFirst)
{
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    MediaTypePtr five = Caps(5, &caps);
    EXPECT_TRUE(IsEqualGUID(five->subtype, MEDIASUBTYPE_RGB24));
    EXPECT_EQ(HeaderOf(*five).biWidth, 1024);
    EXPECT_EQ(five->lSampleSize, 2359296u);
    EXPECT_EQ(caps.MaxOutputSize.cy, 768);
    for (int index : {99, -1}) {
        MediaTypePtr type = Caps(index, &caps);
        EXPECT_EQ(HeaderOf(*type).biWidth, 2048) << index;
        EXPECT_EQ(HeaderOf(*type).biBitCount, 32) << index;
    }
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(config->GetStreamCaps(0, &type, nullptr), E_POINTER);
    EXPECT_EQ(config->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
}

TEST_F(StreamConfig, AnUnconnectedPinOnlyStoresTheFormatItIsGiven)
{
    ASSERT_EQ(filter->JoinFilterGraph(&graph, L"Capture"), S_OK);
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    MediaTypePtr outside = Caps(2, &caps);
    auto* header = &reinterpret_cast<VIDEOINFOHEADER*>(outside->pbFormat)->bmiHeader;
    header->biWidth = 640;    // not in the catalogue: stored all the same
    header->biHeight = -480;
    ASSERT_EQ(config->SetFormat(outside.get()), S_OK);
    EXPECT_EQ(graph.reconnects, 0);

    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    MediaTypePtr owned(current);
    CMediaTypeRecord expected;
    expected = *outside;
    EXPECT_TRUE(expected.Equals(*current));
    EXPECT_EQ(config->GetFormat(nullptr), E_POINTER);
    EXPECT_EQ(config->SetFormat(nullptr), E_POINTER);
}

TEST_F(StreamConfig, AConnectedPinAsksTheGraphToReconnectAndSucceedsEitherWay)
{
    ASSERT_EQ(filter->JoinFilterGraph(&graph, L"Capture"), S_OK);
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    MediaTypePtr type = Caps(0, &caps);
    ASSERT_EQ(pin->Connect(&downstream, type.get()), S_OK);
    graph.reconnectResult = E_FAIL;
    ASSERT_EQ(config->SetFormat(type.get()), S_OK);
    EXPECT_EQ(graph.reconnects, 1);
}

TEST_F(StreamConfig, AFormatWithoutAVideoHeaderIsNeverReadOrWrittenPastItsBlock)
{
    CMediaTypeRecord noBlock;
    noBlock.AssignMajorType(MEDIATYPE_Video);
    ASSERT_EQ(config->SetFormat(&noBlock), S_OK);
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(config->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&caps)),
              VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(type, nullptr);

    CMediaTypeRecord shortBlock;
    shortBlock.AssignMajorType(MEDIATYPE_Video);
    shortBlock.ReserveFormatBlock(40);
    std::memset(shortBlock.pbFormat, 0, 40);
    ASSERT_EQ(config->SetFormat(&shortBlock), S_OK);
    EXPECT_EQ(config->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&caps)),
              VFW_E_INVALIDMEDIATYPE);
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    EXPECT_EQ(current->cbFormat, 40u);
    DestroyMediaType(current);

    // A connection made afterwards negotiates a whole type again.
    VIDEO_STREAM_CONFIG_CAPS unused = {};
    ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
    MediaTypePtr described = Caps(1, &unused);
    EXPECT_EQ(HeaderOf(*described).biWidth, 2048);
}

TEST_F(StreamConfig, WinesGraphRemakesTheConnectionOfAStoppedPin)
{
    filter.Reset();    // the platform graph holds its own filter
    config.Reset();
    ComPtr<IBaseFilter> capture = MakeCaptureFilter(TestVariantA);
    PlatformGraph platform;
    ASSERT_EQ(platform.Build(capture.Get(), nullptr, L"Capture"), S_OK);
    ASSERT_EQ(platform.ConnectSource(), S_OK);
    ComPtr<IAMStreamConfig> captureConfig;
    ASSERT_EQ(platform.sourcePin->QueryInterface(IID_IAMStreamConfig, captureConfig.PutVoid()),
              S_OK);

    // Imposing capability 3's 88-byte type: the remade connection is negotiated anew,
    // and the pin offers its preferred format, a 1128-byte listed type.
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    AM_MEDIA_TYPE* imposed = nullptr;
    ASSERT_EQ(captureConfig->GetStreamCaps(3, &imposed, reinterpret_cast<BYTE*>(&caps)), S_OK);
    MediaTypePtr owned(imposed);
    ASSERT_EQ(captureConfig->SetFormat(imposed), S_OK);

    CMediaTypeRecord connected;
    ASSERT_EQ(platform.sourcePin->ConnectionMediaType(&connected), S_OK);
    EXPECT_EQ(connected.cbFormat, 1128u);
    EXPECT_EQ(HeaderOf(connected).biWidth, 2048);

    captureConfig.Reset();
    platform.control->Stop();
    platform.Release();
    capture.Reset();
    filter = MakeCaptureFilter(TestVariantA);
    pin = static_cast<IPin*>(CapturePinOf(filter.Get()));
}

}    // namespace
