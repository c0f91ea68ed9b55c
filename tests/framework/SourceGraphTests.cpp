// The framework's source filter inside the platform's own filter graph.
#include "NewThread.h"
#include "PlatformGraph.h"
#include "TestSource.h"
#include "framework/ModuleState.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class SourceInPlatformGraph : public ::testing::Test
{
protected:
    void SetUp() override
    {
        filter = MakeTestSource(&source);
        ASSERT_EQ(graph.Build(filter.Get(), &recorder), S_OK);
    }
    void TearDown() override
    {
        if (graph.control)
            graph.control->Stop();
        graph.Release();
        filter.Reset();
        EXPECT_EQ(ObjectCount, startCount);
    }

    const LONG startCount = ObjectCount;
    GrabberRecorder recorder;
    CTestSource* source = nullptr;
    ComPtr<IBaseFilter> filter;
    PlatformGraph graph;
};

TEST_F(SourceInPlatformGraph, ConnectsPausesRunsStopsAndReconnects)
{
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(recorder.WaitForSamples(5));
    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_FALSE(source->Stream()->HasWorker());

    const auto samples = recorder.Samples();
    EXPECT_EQ(samples[0].length, TestFrameBytes);
    EXPECT_EQ(samples[1].start - samples[0].start, 100000);

    ASSERT_EQ(graph.DisconnectSource(), S_OK);
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    recorder.Clear();
    ASSERT_TRUE(SUCCEEDED(graph.control->Pause()));
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    EXPECT_TRUE(recorder.WaitForSamples(3));
}

// Runs `work` on its own thread and says whether it finished within `limitMs`: a hang
// shows as a failed test, not as a test run that never ends.
template <class Work>
bool FinishesWithin(DWORD limitMs, Work work)
{
    NewThread thread([&work] {
        ComApartment apartment(COINIT_MULTITHREADED);
        work();
    });
    if (thread.Join(limitMs))
        return true;
    std::fprintf(stderr, "still running after %lu ms: giving up on the process\n", limitMs);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return false;
}

TEST_F(SourceInPlatformGraph, TwoHundredPauseStopCyclesWhileStreamingNeverHang)
{
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    int failures = 0;
    EXPECT_TRUE(FinishesWithin(120000, [&] {
        for (int cycle = 0; cycle < 200; ++cycle) {
            const size_t before = recorder.Count();
            failures += FAILED(graph.control->Run());
            failures += !recorder.WaitForSamples(before + 1);
            failures += FAILED(graph.control->Pause());
            failures += FAILED(graph.control->Stop());
        }
    }));
    EXPECT_EQ(failures, 0);
    EXPECT_FALSE(source->Stream()->HasWorker());
    EXPECT_GE(recorder.Count(), 200u);
}

TEST_F(SourceInPlatformGraph, AFillFailureReachesTheGraphAsAnAbortWithItsCode)
{
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    source->Stream()->fillResult = E_OUTOFMEMORY;
    source->Stream()->failAfter = 3;
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    LONG_PTR code = 0;
    ASSERT_TRUE(graph.WaitForEvent(EC_ERRORABORT, &code));
    EXPECT_EQ(HRESULT(code), E_OUTOFMEMORY);
    EXPECT_EQ(recorder.Count(), 3u);
}

TEST_F(SourceInPlatformGraph, EndOfDataReachesTheRendererAndCompletesTheGraph)
{
    ASSERT_EQ(graph.ConnectSource(), S_OK);
    source->Stream()->fillResult = S_FALSE;
    source->Stream()->failAfter = 4;
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(graph.WaitForEvent(EC_COMPLETE));
    EXPECT_EQ(recorder.Count(), 4u);
}

}    // namespace
