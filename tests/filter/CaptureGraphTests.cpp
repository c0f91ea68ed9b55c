// Capture filters streaming through Wine's own filter graph: every catalogue format, the
// noise the camera makes, the time stamps, and settings changed while streaming.
#include "CaptureFilterSupport.h"
#include "PlatformGraph.h"
#include "filter/CameraValueLists.h"

#include <cstring>
#include <vector>

namespace {

// Looks at the camera from the worker thread itself, right after each frame. It must not
// ask the filter for its pin then: that takes the lock a stopping filter holds.
class SettingsWatcher : public GrabberRecorder
{
public:
    void Watch(CCapSrc* watched)
    {
        filter = watched;
        pin = CapturePinOf(watched);
    }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override
    {
        {
            ScopedLock hold(lock);
            gains.push_back(pin->Camera().Parameters().gain);
            flags.push_back(filter->CurrentSettings().settingsChanged);
        }
        return GrabberRecorder::SampleCB(time, sample);
    }
    CriticalSection lock;
    std::vector<double> gains;
    std::vector<LONG> flags;

private:
    CCapSrc* filter = nullptr;
    CCapSrcStream* pin = nullptr;
};

class CaptureInPlatformGraph : public CaptureFilterTest
{
protected:
    void SetUp() override
    {
        CaptureFilterTest::SetUp();
        filter = MakeCaptureFilter(TestVariantA, &capture);
    }
    void TearDown() override
    {
        if (graph.control)
            graph.control->Stop();
        graph.Release();
        filter.Reset();
        CaptureFilterTest::TearDown();
    }
    void BuildWithPreferred(LONG index, GrabberRecorder* sink)
    {
        ASSERT_EQ(PinPreferenceOf(filter.Get(), TestVariantA)->SetPreferredIndex(&index), S_OK);
        ASSERT_EQ(graph.Build(filter.Get(), sink, L"Capture"), S_OK);
        ASSERT_EQ(graph.ConnectSource(), S_OK);
    }

    // Declared before the graph, which holds them as its grabber's callback.
    GrabberRecorder recorder{2};
    SettingsWatcher watcher;
    CCapSrc* capture = nullptr;
    ComPtr<IBaseFilter> filter;
    PlatformGraph graph;
};

TEST_F(CaptureInPlatformGraph, StreamsEveryCatalogueFormatAsTimedNoiseFromANewThread)
{
    for (const CatalogueFormat& format : CatalogueFormats) {
        SCOPED_TRACE(format.index);
        recorder.Clear();
        BuildWithPreferred(format.index, &recorder);
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(recorder.WaitForSamples(3));
        ASSERT_EQ(graph.control->Stop(), S_OK);

        const auto samples = recorder.Samples();
        for (size_t k = 0; k < samples.size(); ++k) {
            EXPECT_EQ(samples[k].length, format.frameBytes);
            EXPECT_EQ(samples[k].timeResult, S_OK);
            EXPECT_EQ(samples[k].stop, samples[k].start + 10000);
            EXPECT_TRUE(samples[k].syncPoint);
            if (k > 0) {
                EXPECT_EQ(samples[k].start - samples[k - 1].start, 100000);
            }
        }
        const ExpectedNoise expected = NoiseOfANewThread(2, format.frameBytes);
        EXPECT_TRUE(samples[0].bytes == expected.frames[0]);
        EXPECT_TRUE(samples[1].bytes == expected.frames[1]);
        graph.Release();
    }
}

TEST_F(CaptureInPlatformGraph, ARestartBeginsTheNoiseAgainWhileStampsKeepRising)
{
    BuildWithPreferred(3, &recorder);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(recorder.WaitForSamples(2));
    ASSERT_EQ(graph.control->Stop(), S_OK);
    const auto first = recorder.Samples();
    EXPECT_EQ(first[0].start, 100000);    // the first frame is stamped 10 ms

    recorder.Clear();
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(recorder.WaitForSamples(1));
    ASSERT_EQ(graph.control->Stop(), S_OK);
    const auto second = recorder.Samples();
    EXPECT_GT(second[0].start, first.back().start);
    EXPECT_EQ(second[0].bytes, first[0].bytes);
}

TEST_F(CaptureInPlatformGraph, ChangedSettingsReachTheCameraOnceBetweenFrames)
{
    watcher.Watch(capture);
    BuildWithPreferred(6, &watcher);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(watcher.WaitForSamples(3));

    CameraSettings changed = {};
    ComPtr<IIPFilter> settings = FilterSettingsOf(filter.Get(), TestVariantA);
    ASSERT_EQ(settings->GetCameraSettings(&changed), S_OK);
    changed.ExposureGain = 5;    // 2.0
    changed.settingsChanged = 1;
    ASSERT_EQ(settings->SetCameraSettings(&changed), S_OK);
    const size_t seen = watcher.Count();
    ASSERT_TRUE(watcher.WaitForSamples(seen + 3));
    ASSERT_EQ(graph.control->Stop(), S_OK);

    ScopedLock hold(watcher.lock);
    size_t switches = 0;
    for (size_t k = 1; k < watcher.gains.size(); ++k)
        switches += watcher.gains[k] != watcher.gains[k - 1];
    EXPECT_EQ(switches, 1u);
    EXPECT_EQ(watcher.gains.front(), GainValueList[0]);
    EXPECT_EQ(watcher.gains.back(), GainValueList[5]);
    EXPECT_EQ(watcher.flags.back(), 0);
    CameraSettings after = {};
    settings->GetCameraSettings(&after);
    EXPECT_EQ(after.settingsChanged, 0);
    EXPECT_EQ(after.ExposureGain, 5);
}

}    // namespace
