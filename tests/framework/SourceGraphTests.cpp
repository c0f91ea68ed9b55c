// The framework's source filter inside the platform's own filter graph.
#include <gtest/gtest.h>
#include "TestSource.h"
#include "PlatformGraph.h"
#include "framework/ModuleState.h"

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
        graph = PlatformGraph();
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

} // namespace
