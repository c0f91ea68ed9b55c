// Frames a capture filter delivers through Wine's own filter graph, verified as they
// arrive on the streaming thread, as orvix-capture --verify does: exact and consecutive
// from frame 0 at every format and after every restart, and the camera keeps making its
// frames from the model beside the verifier.
#include "PlatformGraph.h"
#include "filter/CaptureFilterSupport.h"
#include "verify/FrameVerifier.h"
#include "verify/VerificationReport.h"

#include <memory>

namespace {

// Verifies the first frames of each run on the streaming thread.
// Locking
//   lock: the verifier and the report, shared by the streaming thread and the test's.
class VerifyingRecorder : public GrabberRecorder
{
public:
    VerifyingRecorder(const FrameFormat& format, uint64_t framesPerRun)
        : verifier(format, format.pixelBytes), framesPerRun(framesPerRun)
    {
    }

    void StartRun()
    {
        ScopedLock hold(lock);
        report.reset(new VerificationReport(true));
        Clear();
    }

    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override
    {
        {
            ScopedLock hold(lock);
            BYTE* buffer = nullptr;
            if (report && report->Checked() < framesPerRun
                && SUCCEEDED(sample->GetPointer(&buffer)))
                report->Add(verifier.Verify(buffer, size_t(sample->GetActualDataLength()),
                                            report->ExpectedNext()),
                            FramePlace{});
        }
        return GrabberRecorder::SampleCB(time, sample);
    }

    bool ExactAndConsecutive()
    {
        ScopedLock hold(lock);
        return report && report->Checked() == framesPerRun && report->AllExactAndConsecutive();
    }

private:
    CriticalSection lock;
    FrameVerifier verifier;
    const uint64_t framesPerRun;
    std::unique_ptr<VerificationReport> report;
};

class VerifiedThroughPlatformGraph : public CaptureFilterTest
{
protected:
    void TearDown() override
    {
        graph.Release();
        filter.Reset();
        CaptureFilterTest::TearDown();
    }

    ComPtr<IBaseFilter> filter;
    PlatformGraph graph;
};

TEST_F(VerifiedThroughPlatformGraph, EveryFormatIsExactAndConsecutiveFromFrameZeroRunAfterRun)
{
    const uint64_t frames = 20;
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index) {
        SCOPED_TRACE(index);
        FrameFormat format;
        ASSERT_TRUE(DescribeFrameFormat(index, &format));
        // Declared before the filter and the graph: the graph holds it as its callback.
        VerifyingRecorder recorder(format, frames);
        filter = MakeCaptureFilter(TestVariantA);
        LONG preferred = index;
        ASSERT_EQ(PinPreferenceOf(filter.Get(), TestVariantA)->SetPreferredIndex(&preferred), S_OK);
        ASSERT_EQ(graph.Build(filter.Get(), &recorder, L"Capture"), S_OK);
        ASSERT_EQ(graph.ConnectSource(), S_OK);
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(run);
            recorder.StartRun();
            ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
            ASSERT_TRUE(recorder.WaitForSamples(frames));
            ASSERT_EQ(graph.control->Stop(), S_OK);
            EXPECT_TRUE(recorder.ExactAndConsecutive());
            EXPECT_TRUE(CapturePinOf(filter.Get())->Camera().NoiseFromModel());
        }
        graph.Release();
        filter.Reset();
    }
}

}    // namespace
