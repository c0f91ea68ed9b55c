// The noise a capture filter delivers through Wine's own filter graph, held byte for byte
// against one rand() call per byte on a new thread: every format, over several frames
// and restarts, and with a downstream filter drawing from the generator on the worker.
#include "CaptureFilterSupport.h"
#include "PlatformGraph.h"

#include <cstdlib>
#include <vector>

namespace {

// A downstream filter that uses rand() on the thread that delivers to it, and looks at
// whether the camera still makes its frames from the model.
class DrawingRecorder : public GrabberRecorder
{
public:
    explicit DrawingRecorder(size_t samplesToKeepBytes) : GrabberRecorder(samplesToKeepBytes) {}
    void Watch(CCapSrcStream* watched) { pin = watched; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override
    {
        {
            ScopedLock hold(lock);
            fromModel.push_back(pin->Camera().NoiseFromModel());
            drawn.push_back(rand());
        }
        return GrabberRecorder::SampleCB(time, sample);
    }
    CriticalSection lock;
    std::vector<bool> fromModel;
    std::vector<int> drawn;

private:
    CCapSrcStream* pin = nullptr;    // the filter's; lives as long as the test's filter
};

class NoiseThroughPlatformGraph : public CaptureFilterTest
{
protected:
    void SetUp() override
    {
        CaptureFilterTest::SetUp();
        filter = MakeCaptureFilter(TestVariantA);
    }
    void TearDown() override
    {
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
    // Runs the graph until `frames` samples have passed, then stops it: each run is a
    // new worker thread.
    std::vector<GrabbedSample> RunFor(GrabberRecorder* sink, size_t frames)
    {
        sink->Clear();
        EXPECT_TRUE(SUCCEEDED(graph.control->Run()));
        EXPECT_TRUE(sink->WaitForSamples(frames));
        EXPECT_EQ(graph.control->Stop(), S_OK);
        return sink->Samples();
    }

    // Declared before the graph, which holds them as its grabber's callback.
    GrabberRecorder recorder{3};
    DrawingRecorder drawer{4};
    ComPtr<IBaseFilter> filter;
    PlatformGraph graph;
};

TEST_F(NoiseThroughPlatformGraph, EveryFormatDeliversRandsBytesFrameAfterFrameAndRunAfterRun)
{
    const size_t frames = 3;
    for (const CatalogueFormat& format : CatalogueFormats) {
        SCOPED_TRACE(format.index);
        const ExpectedNoise expected = NoiseOfANewThread(frames, format.frameBytes);
        BuildWithPreferred(format.index, &recorder);
        for (int run = 0; run < 3; ++run) {
            SCOPED_TRACE(run);
            const std::vector<GrabbedSample> samples = RunFor(&recorder, frames);
            ASSERT_GE(samples.size(), frames);
            for (size_t frame = 0; frame < frames; ++frame)
                EXPECT_TRUE(samples[frame].bytes == expected.frames[frame]) << "frame " << frame;
            EXPECT_TRUE(CapturePinOf(filter.Get())->Camera().NoiseFromModel());
        }
        graph.Release();
    }
}

TEST_F(NoiseThroughPlatformGraph, ADownstreamDrawOnTheWorkerSendsTheStreamBackToRandPerByte)
{
    const size_t frames = 4;
    const CatalogueFormat& format = CatalogueFormats[5];
    const ExpectedNoise expected = NoiseOfANewThread(frames, format.frameBytes, true);
    drawer.Watch(CapturePinOf(filter.Get()));
    BuildWithPreferred(format.index, &drawer);
    const std::vector<GrabbedSample> samples = RunFor(&drawer, frames);

    ASSERT_GE(samples.size(), frames);
    for (size_t frame = 0; frame < frames; ++frame)
        EXPECT_TRUE(samples[frame].bytes == expected.frames[frame]) << "frame " << frame;
    ScopedLock hold(drawer.lock);
    // The first draw follows a frame made from the model: the generator was where
    // frameBytes + 1 calls would have left it.
    ASSERT_GE(drawer.drawn.size(), frames);
    EXPECT_EQ(std::vector<int>(drawer.drawn.begin(), drawer.drawn.begin() + frames),
              expected.betweenFrames);
    EXPECT_EQ(std::vector<bool>(drawer.fromModel.begin(), drawer.fromModel.begin() + frames),
              (std::vector<bool>{true, false, false, false}));
}

}    // namespace
