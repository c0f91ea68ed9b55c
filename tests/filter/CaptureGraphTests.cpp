// Capture filters streaming through Wine's own filter graph: every catalogue format, the
// noise the camera makes, the time stamps, and settings changed while streaming.
#include <cstring>
#include <vector>
#include "CaptureFilterSupport.h"
#include "PlatformGraph.h"
#include "filter/CameraValueLists.h"

namespace {

struct Format
{
    LONG index;
    LONG sampleBytes;
};
const Format Formats[] = {
    {1, 12582912}, {2, 3145728}, {3, 786432}, {4, 9437184}, {5, 2359296}, {6, 589824},
};

// What one rand() per byte yields on a thread that has never drawn: frame after frame,
// each consuming one value more than it has bytes.
std::vector<BYTE> NoiseOfANewThread(size_t frames, LONG frameBytes)
{
    struct Job
    {
        size_t frames;
        LONG frameBytes;
        std::vector<BYTE> bytes;
        static DWORD WINAPI Run(void* argument)
        {
            auto* job = static_cast<Job*>(argument);
            job->bytes.reserve(job->frames * size_t(job->frameBytes));
            for (size_t frame = 0; frame < job->frames; ++frame) {
                for (LONG position = 0; position < job->frameBytes; ++position)
                    job->bytes.push_back(BYTE((rand() >> 6) & 0xFF));
                rand();
            }
            return 0;
        }
    } job{frames, frameBytes, {}};
    UniqueHandle thread(CreateThread(nullptr, 0, Job::Run, &job, 0, nullptr));
    WaitForSingleObject(thread.Get(), INFINITE);
    return job.bytes;
}

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
    for (const Format& format : Formats) {
        SCOPED_TRACE(format.index);
        recorder.Clear();
        BuildWithPreferred(format.index, &recorder);
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(recorder.WaitForSamples(3));
        ASSERT_EQ(graph.control->Stop(), S_OK);

        const auto samples = recorder.Samples();
        for (size_t k = 0; k < samples.size(); ++k) {
            EXPECT_EQ(samples[k].length, format.sampleBytes);
            EXPECT_EQ(samples[k].timeResult, S_OK);
            EXPECT_EQ(samples[k].stop, samples[k].start + 10000);
            EXPECT_TRUE(samples[k].syncPoint);
            if (k > 0) {
                EXPECT_EQ(samples[k].start - samples[k - 1].start, 100000);
            }
        }
        const std::vector<BYTE> expected = NoiseOfANewThread(2, format.sampleBytes);
        ASSERT_EQ(samples[0].bytes.size() + samples[1].bytes.size(), expected.size());
        EXPECT_TRUE(std::equal(samples[0].bytes.begin(), samples[0].bytes.end(), expected.begin()));
        EXPECT_TRUE(std::equal(samples[1].bytes.begin(), samples[1].bytes.end(),
                               expected.begin() + format.sampleBytes));
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
    EXPECT_EQ(first[0].start, 100000);      // the first frame is stamped 10 ms

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
    changed.ExposureGain = 5;           // 2.0
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

} // namespace
