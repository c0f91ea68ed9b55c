// What a capture program does with a camera all day, over and over: create the filter
// through the built module, connect it in Wine's graph, stream three frames, stop,
// disconnect and release it, with fault scenarios that hold the worker when it stops. Once the
// first cycles have warmed up Wine's own caches, the process's open handles, committed private
// memory and heap blocks in use must stay where they were, and the module must be free to unload.
// Wine's checking heap holds freed blocks back to catch late writes, which would read as a leak:
// under heap checking the cycles run in a child that does without it.
//   ORVIX_LEAK_CYCLES  cycles in all, the first 20 to warm up (default 200)
#include "ModuleUnderTest.h"
#include "Orvix61Test.h"
#include "PlatformGraph.h"
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint64_t WarmUpCycles = 20;

// The fault scenarios the cycles take in turn: a repeat (its copy of a frame) and a stall
// the stop interrupts, a device lost before the stop, and none.
const char* const CycleScenarios[] = {"repeat 1; stall 3 600000", "lose-device 3", ""};

// One cycle: a filter from the module, through a graph that stays, and gone again.
void CaptureCycle(const LoadedModule& module, PlatformGraph& graph, FrameCounter& counter,
                  const CMediaTypeRecord& type, const char* scenario)
{
    ComPtr<IBaseFilter> filter;
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(module.GetClassObject(CLSID_Orvix61CapSrc2, IID_IClassFactory, factory.PutVoid()),
                  S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
    }
    {
        ComPtr<IIPFaultScenario> faults;
        ASSERT_EQ(filter->QueryInterface(IID_IIPFaultScenario, faults.PutVoid()), S_OK);
        ASSERT_EQ(faults->SetFaultScenario(scenario), S_OK);
    }
    if (!graph.graph) {
        ASSERT_EQ(graph.Build(filter.Get(), nullptr, L"Capture"), S_OK);
        graph.grabber->SetCallback(&counter, 0);
    } else {
        ASSERT_EQ(graph.graph->AddFilter(filter.Get(), L"Capture"), S_OK);
        graph.sourcePin = FindPinByDirection(filter.Get(), PINDIR_OUTPUT);
    }
    ASSERT_EQ(graph.ConnectSource(&type), S_OK);
    const LONG before = counter.Count();
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(counter.WaitFor(before + 3));
    ASSERT_EQ(graph.control->Stop(), S_OK);
    // The events the cycle gave the graph (a lost device's among them) are read, as a
    // host reads them; left queued, they would be the graph's growth, not ours.
    graph.EventsUntil(0, 0);
    ASSERT_EQ(graph.DisconnectSource(), S_OK);
    graph.sourcePin.Reset();
    ASSERT_EQ(graph.graph->RemoveFilter(filter.Get()), S_OK);
}

void PrintFigures(const char* when, const ProcessFigures& figures)
{
    std::printf("%-22s %5ld handles, %10lld private bytes, %9lld heap bytes in %7lld blocks\n",
                when, figures.handles, (long long)figures.privateBytes,
                (long long)figures.heapBytes, (long long)figures.heapBlocks);
}

TEST(LeakCheck, CreateConnectStreamStopDisconnectReleaseLeavesTheProcessAsItWas)
{
    if (HeapCheckingIsOn()) {
        EXPECT_TRUE(PassesInAChildWithoutHeapChecking());
        return;
    }
    const uint64_t cycles = RunFigure("ORVIX_LEAK_CYCLES", 200);
    ASSERT_GT(cycles, WarmUpCycles);
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
    FrameCounter counter;
    CMediaTypeRecord small512;
    FillSmallCatalogueType(&small512);
    PlatformGraph graph;
    Watchdog watchdog(DWORD(cycles) * 1000 + 60000,
                      [] { return std::string("leak check cycles"); });

    ProcessFigures warm;
    ProcessFigures peak;
    const DWORD started = GetTickCount();
    for (uint64_t cycle = 0; cycle < cycles; ++cycle) {
        CaptureCycle(module, graph, counter, small512, CycleScenarios[cycle % 3]);
        if (HasFatalFailure()) {
            std::printf("cycle %llu failed\n", (unsigned long long)cycle);
            return;
        }
        if (cycle + 1 == WarmUpCycles) {
            warm = MeasureProcess();
            peak = warm;
            PrintFigures("after warming up", warm);
        } else if (cycle + 1 > WarmUpCycles && (cycle + 1) % 50 == 0) {
            const ProcessFigures now = MeasureProcess();
            peak.handles = std::max(peak.handles, now.handles);
            peak.privateBytes = std::max(peak.privateBytes, now.privateBytes);
            peak.heapBytes = std::max(peak.heapBytes, now.heapBytes);
            peak.heapBlocks = std::max(peak.heapBlocks, now.heapBlocks);
        }
    }
    const ProcessFigures last = MeasureProcess();
    PrintFigures("after every cycle", last);
    PrintFigures("highest in between", peak);
    std::printf("%llu cycles of 3 frames in %lu ms\n", (unsigned long long)cycles,
                GetTickCount() - started);

    const int64_t heldCycles = int64_t(cycles - WarmUpCycles);
    // One object leaked per cycle would show as: a worker thread, its handle and a stack of
    // 64 KB or more; a pair of event handles; a filter with its pin and media types, dozens
    // of heap blocks and some 3 KB; a set of sample buffers, 5.9 MB. Measured under Wine,
    // the figures do not move at all once warm, so the bounds allow a fiftieth of the
    // smallest of these per cycle, and nothing that a lost stack or buffer would not break.
    EXPECT_LE(last.handles - warm.handles, heldCycles / 50);
    EXPECT_LE(last.heapBlocks - warm.heapBlocks, heldCycles / 50);
    EXPECT_LE(last.heapBytes - warm.heapBytes, heldCycles * 4);
    EXPECT_LE(last.privateBytes - warm.privateBytes, 64 << 10);
    EXPECT_LE(peak.privateBytes - warm.privateBytes, 64 << 10);

    graph.Release();
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}    // namespace
