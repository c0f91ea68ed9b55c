// A filter whose last reference goes while it streams, as a host that lets go without
// stopping leaves it: the worker must end before any part of the filter is destroyed,
// whatever the stream class, with a frame in progress and a settings change pending, and
// the built module may unload afterwards. Each case runs many times over under Wine's heap
// checking, so that a worker touching freed memory shows; a watchdog turns a hang into a
// failed run that says where it stuck.
//   ORVIX_TEARDOWN_CYCLES  releases per case (default 200)
#include "ModuleUnderTest.h"
#include "NewThread.h"
#include "Orvix61Test.h"
#include "ReliabilitySupport.h"
#include "fakes/FakeInputPin.h"
#include "filter/CaptureFilterSupport.h"
#include "framework/TestSource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>

namespace {

constexpr DWORD CycleLimitMs = 30000;    // for one release, from connection to the end

// Where a case is, for the watchdog's message.
struct Progress
{
    volatile LONG cycle = 0;
    const char* volatile step = "starting";

    std::string Describe() const { return "cycle " + std::to_string(cycle) + ": " + step; }
};

// Lets go of the host's last reference on another thread, which stops the filter and waits
// for its worker; once the stop has begun (the allocator is decommitted), the worker held
// at `gate` goes on. Returns when the filter is gone.
void ReleaseWhileHeld(ComPtr<IBaseFilter>* filter, CallLog* log, Gate* gate, Progress* progress)
{
    progress->step = "releasing the filter on another thread";
    NewThread releasing([filter] { filter->Reset(); });
    progress->step = "waiting for the release to decommit the allocator";
    EXPECT_TRUE(log->WaitFor("peerAllocator.Decommit"));
    gate->Open();
    progress->step = "waiting for the release to end";
    releasing.Join();
}

// Whether the capture pin reports `count` dropped frames before the limit: its worker is
// then inside the scenario's run of drops.
bool DropsReach(IBaseFilter* filter, long count)
{
    ComPtr<IAMDroppedFrames> drops;
    if (FAILED(CapturePinOf(filter)->QueryInterface(IID_IAMDroppedFrames, drops.PutVoid())))
        return false;
    for (const DWORD started = GetTickCount(); GetTickCount() - started < 20000; Sleep(1)) {
        long dropped = 0;
        if (SUCCEEDED(drops->GetNumDropped(&dropped)) && dropped >= count)
            return true;
    }
    return false;
}

TEST(Teardown, AStreamWithNothingInItsDestructorIsStoppedBeforeItIsDestroyed)
{
    const LONG startCount = ObjectCount;
    const uint64_t cycles = RunFigure("ORVIX_TEARDOWN_CYCLES", 200);
    Progress progress;
    for (uint64_t cycle = 0; cycle < cycles && !HasFailure(); ++cycle) {
        progress.cycle = LONG(cycle);
        Watchdog watchdog(CycleLimitMs, [&progress] { return progress.Describe(); });
        CallLog log;
        FakeInputPin downstream(&log);
        FakeAllocator allocator(&log, "peerAllocator");
        downstream.proposedAllocator = &allocator;
        Gate fill;
        CTestSource* source = nullptr;
        ComPtr<IBaseFilter> filter = MakeTestSource(&source, &log);
        source->Stream()->fillGate = &fill;
        CMediaTypeRecord type;
        FillTestType(&type);
        progress.step = "connecting";
        ASSERT_EQ(static_cast<IPin*>(source->Stream())->Connect(&downstream, &type), S_OK);
        fill.Arm();
        progress.step = "starting";
        ASSERT_EQ(cycle % 2 ? filter->Pause() : filter->Run(0), S_OK);
        ASSERT_TRUE(fill.WaitUntilHeld());
        downstream.Disconnect();    // the downstream lets go of the pin, as a graph does

        ReleaseWhileHeld(&filter, &log, &fill, &progress);
        EXPECT_LT(log.PositionOf("source.FillSample let go"),
                  log.PositionOf("source.OnWorkerDestroy"));
        EXPECT_LT(log.PositionOf("source.OnWorkerDestroy"),
                  log.PositionOf("source stream destroyed"));
        EXPECT_EQ(ObjectCount, startCount);
        EXPECT_EQ(allocator.References(), 0);
        EXPECT_EQ(downstream.References(), 0);
    }
    std::printf("%llu releases of a test stream\n", (unsigned long long)cycles);
}

TEST(Teardown, ACaptureFilterReleasedMidFrameWithChangedSettingsStopsFirst)
{
    RemoveReliabilityKeys();
    const LONG startCount = ObjectCount;
    const uint64_t cycles = RunFigure("ORVIX_TEARDOWN_CYCLES", 200);
    Progress progress;
    for (uint64_t cycle = 0; cycle < cycles && !HasFailure(); ++cycle) {
        progress.cycle = LONG(cycle);
        Watchdog watchdog(CycleLimitMs, [&progress] { return progress.Describe(); });
        CallLog log;
        FakeInputPin downstream(&log);
        FakeAllocator allocator(&log, "peerAllocator");
        downstream.proposedAllocator = &allocator;
        Gate delivery;
        downstream.receiveGate = &delivery;
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        CMediaTypeRecord type;
        FillSmallCatalogueType(&type);
        progress.step = "connecting";
        ASSERT_EQ(static_cast<IPin*>(CapturePinOf(filter.Get()))->Connect(&downstream, &type),
                  S_OK);
        delivery.Arm();
        progress.step = "starting";
        ASSERT_EQ(cycle % 2 ? filter->Pause() : filter->Run(0), S_OK);
        ASSERT_TRUE(delivery.WaitUntilHeld());

        // New settings wait for the worker's next frame, which the release must not reach
        // with the filter half destroyed.
        CameraSettings changed = {};
        {
            ComPtr<IIPFilter> settings = FilterSettingsOf(filter.Get(), ReliabilityVariant);
            ASSERT_EQ(settings->GetCameraSettings(&changed), S_OK);
            changed.ExposureGain = LONG(1 + cycle % 12);
            changed.settingsChanged = 1;
            ASSERT_EQ(settings->SetCameraSettings(&changed), S_OK);
        }
        downstream.Disconnect();

        ReleaseWhileHeld(&filter, &log, &delivery, &progress);
        EXPECT_EQ(log.Count("peer.Receive let go"), 1u);
        EXPECT_EQ(ObjectCount, startCount);
        EXPECT_EQ(allocator.References(), 0);
        EXPECT_EQ(downstream.References(), 0);
    }
    std::printf("%llu releases of a capture filter\n", (unsigned long long)cycles);
    RemoveReliabilityKeys();
}

TEST(Teardown, ACaptureFilterReleasedWhileItsScenarioWaitsOrHasEndedItsStreamStopsFirst)
{
    // A stall that would last ten minutes, a lost device the worker waits on for ever, an
    // abort after which the worker idles, a repeat still to be delivered, and a camera that
    // drops every frame after the first, whose worker never gets back to its buffer loop.
    struct Case
    {
        const char* scenario;
        LONG framesBefore;
        bool ends;
        long dropsBefore = 0;
    };
    const Case cases[] = {
        {"stall 2 600000", 2, false},    {"lose-device 2", 2, false},
        {"abort 2 0x80004005", 2, true}, {"repeat 1; drop 3; stall 4 600000", 4, false},
        {"drop-every 1", 1, false, 1},
    };
    RemoveReliabilityKeys();
    const LONG startCount = ObjectCount;
    const uint64_t cycles = RunFigure("ORVIX_TEARDOWN_CYCLES", 200);
    Progress progress;
    for (uint64_t cycle = 0; cycle < cycles && !HasFailure(); ++cycle) {
        const Case& c = cases[cycle % std::size(cases)];
        progress.cycle = LONG(cycle);
        Watchdog watchdog(CycleLimitMs, [&progress] { return progress.Describe(); });
        CallLog log;
        FakeInputPin downstream(&log);
        FakeAllocator allocator(&log, "peerAllocator");
        downstream.proposedAllocator = &allocator;
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        {
            ComPtr<IIPFaultScenario> faults;
            ASSERT_EQ(filter->QueryInterface(IID_IIPFaultScenario, faults.PutVoid()), S_OK);
            ASSERT_EQ(faults->SetFaultScenario(c.scenario), S_OK);
        }
        CMediaTypeRecord type;
        FillSmallCatalogueType(&type);
        progress.step = "connecting";
        ASSERT_EQ(static_cast<IPin*>(CapturePinOf(filter.Get()))->Connect(&downstream, &type),
                  S_OK);
        progress.step = "starting";
        ASSERT_EQ(cycle % 2 ? filter->Pause() : filter->Run(0), S_OK);
        progress.step = "waiting for the frames before the scenario holds the worker";
        ASSERT_TRUE(downstream.WaitForSamples(c.framesBefore));
        if (c.ends) {
            ASSERT_TRUE(downstream.WaitForEndOfStream());
        }
        ASSERT_TRUE(DropsReach(filter.Get(), c.dropsBefore));
        downstream.Disconnect();

        progress.step = "releasing the filter";
        filter.Reset();
        EXPECT_EQ(downstream.received, c.framesBefore) << c.scenario;
        EXPECT_EQ(ObjectCount, startCount);
        EXPECT_EQ(allocator.References(), 0);
        EXPECT_EQ(downstream.References(), 0);
    }
    std::printf("%llu releases of a capture filter held by its scenario\n",
                (unsigned long long)cycles);
    RemoveReliabilityKeys();
}

TEST(Teardown, ThroughTheBuiltModuleAFilterReleasedWhileStreamingLetsTheModuleUnload)
{
    const CLSID variants[] = {CLSID_Orvix61CapSrc1, CLSID_Orvix61CapSrc2, CLSID_Orvix61CapSrc3,
                              CLSID_Orvix61CapSrc4};
    LoadedModule module;
    ASSERT_TRUE(module.IsLoaded());
    ASSERT_EQ(module.CanUnloadNow(), S_OK);
    const uint64_t cycles = RunFigure("ORVIX_TEARDOWN_CYCLES", 200);
    Progress progress;
    for (uint64_t cycle = 0; cycle < cycles && !HasFailure(); ++cycle) {
        progress.cycle = LONG(cycle);
        Watchdog watchdog(CycleLimitMs, [&progress] { return progress.Describe(); });
        CallLog log;
        FakeInputPin downstream(&log);
        FakeAllocator allocator(&log, "peerAllocator");
        downstream.proposedAllocator = &allocator;
        Gate delivery;
        downstream.receiveGate = &delivery;
        ComPtr<IBaseFilter> filter;
        {
            ComPtr<IClassFactory> factory;
            ASSERT_EQ(
                module.GetClassObject(variants[cycle % 4], IID_IClassFactory, factory.PutVoid()),
                S_OK);
            ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
        }
        {
            ComPtr<IPin> pin;
            ASSERT_EQ(filter->FindPin(L"1", pin.Put()), S_OK);
            CMediaTypeRecord type;
            FillSmallCatalogueType(&type);
            progress.step = "connecting";
            ASSERT_EQ(pin->Connect(&downstream, &type), S_OK);
        }
        delivery.Arm();
        progress.step = "starting";
        ASSERT_EQ(cycle % 2 ? filter->Pause() : filter->Run(0), S_OK);
        ASSERT_TRUE(delivery.WaitUntilHeld());
        downstream.Disconnect();

        ReleaseWhileHeld(&filter, &log, &delivery, &progress);
        EXPECT_EQ(module.CanUnloadNow(), S_OK);
        EXPECT_EQ(allocator.References(), 0);
        EXPECT_EQ(downstream.References(), 0);
    }
    std::printf("%llu releases through the module\n", (unsigned long long)cycles);
}

}    // namespace
