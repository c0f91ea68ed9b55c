// Capture filters running fault scenarios in Wine's own filter graph: which frames arrive,
// with which stamps and flags, which events the graph hears, what IAMDroppedFrames says,
// and that no stall, lost device or abort holds up a stop, a pause or a release.
#include "CaptureFilterSupport.h"
#include "NewThread.h"
#include "PlatformGraph.h"
#include "filter/SettingsStore.h"
#include "verify/FrameVerifier.h"

#include <vector>

namespace {

constexpr LONG SmallFormat = 3;    // 512 x 384 RGB32: quick to fill and to verify
constexpr REFERENCE_TIME Ms = 10000;

// One delivered sample: the frame it holds, found by the verifier on the worker thread.
struct SeenFrame
{
    LONGLONG number = -1;    // -1: no frame of the stream
    bool rowsReversed = false;
    uint64_t differingBytes = 0;
    HRESULT timeResult = S_OK;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool discontinuity = false;
};

class FrameRecorder : public GrabberRecorder
{
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override
    {
        SeenFrame seen;
        seen.timeResult = sample->GetTime(&seen.start, &seen.stop);
        seen.discontinuity = sample->IsDiscontinuity() == S_OK;
        BYTE* bytes = nullptr;
        sample->GetPointer(&bytes);
        {
            ScopedLock hold(framesLock);
            const uint64_t expected =
                frames.empty() || frames.back().number < 0 ? 0 : uint64_t(frames.back().number) + 1;
            const FrameMatch match =
                verifier.Verify(bytes, size_t(sample->GetActualDataLength()), expected);
            if (match.recognised)
                seen.number = LONGLONG(match.number);
            seen.rowsReversed = match.rowsReversed;
            seen.differingBytes = match.differingBytes;
            frames.push_back(seen);
        }
        return GrabberRecorder::SampleCB(time, sample);
    }
    std::vector<SeenFrame> Frames()
    {
        ScopedLock hold(framesLock);
        return frames;
    }
    std::vector<LONGLONG> Numbers()
    {
        std::vector<LONGLONG> numbers;
        for (const SeenFrame& frame : Frames())
            numbers.push_back(frame.number);
        return numbers;
    }
    void ClearFrames()
    {
        ScopedLock hold(framesLock);
        frames.clear();
        Clear();
    }

private:
    static FrameFormat Small()
    {
        FrameFormat format;
        DescribeFrameFormat(SmallFormat, &format);
        return format;
    }
    CriticalSection framesLock;
    FrameVerifier verifier{Small(), 4};
    std::vector<SeenFrame> frames;
};

class FaultScenarioInGraph : public CaptureFilterTest
{
protected:
    void SetUp() override
    {
        CaptureFilterTest::SetUp();
        filter = MakeCaptureFilter(TestVariantA, &capture);
        filter->QueryInterface(IID_IIPFaultScenario, faults.PutVoid());
        CapturePinOf(filter.Get())->QueryInterface(IID_IAMDroppedFrames, drops.PutVoid());
    }
    void TearDown() override
    {
        if (graph.control)
            graph.control->Stop();
        graph.Release();
        faults.Reset();
        drops.Reset();
        filter.Reset();
        CaptureFilterTest::TearDown();
    }
    // Sets the scenario on the instance and connects at the small format.
    void Build(const char* scenario)
    {
        ASSERT_TRUE(faults);
        ASSERT_EQ(faults->SetFaultScenario(scenario), S_OK) << scenario;
        const LONG index = SmallFormat;
        ASSERT_EQ(PinPreferenceOf(filter.Get(), TestVariantA)->SetPreferredIndex(&index), S_OK);
        ASSERT_EQ(graph.Build(filter.Get(), &recorder, L"Capture"), S_OK);
        ASSERT_EQ(graph.ConnectSource(), S_OK);
    }
    // Runs until `count` samples came, then stops.
    void RunFor(size_t count)
    {
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        ASSERT_TRUE(recorder.WaitForSamples(count));
        ASSERT_EQ(graph.control->Stop(), S_OK);
    }
    LONG Dropped()
    {
        long count = -1;
        EXPECT_EQ(drops->GetNumDropped(&count), S_OK);
        return count;
    }
    LONG Delivered()
    {
        long count = -1;
        EXPECT_EQ(drops->GetNumNotDropped(&count), S_OK);
        return count;
    }
    // Whether the pin reports `count` dropped frames before the limit: the worker is then
    // inside the scenario's run of drops.
    bool DropsReach(LONG count)
    {
        for (const DWORD started = GetTickCount(); GetTickCount() - started < 20000; Sleep(1)) {
            if (Dropped() >= count)
                return true;
        }
        return false;
    }
    // A call the host makes that must end at once, though a scenario waits.
    static void EndsWithoutWaiting(std::function<void()> call)
    {
        NewThread caller(std::move(call));
        EXPECT_TRUE(caller.Join(20000)) << "the call waited out the scenario";
    }

    // Declared before the graph, which holds it as its grabber's callback.
    FrameRecorder recorder;
    CCapSrc* capture = nullptr;
    ComPtr<IBaseFilter> filter;
    ComPtr<IIPFaultScenario> faults;
    ComPtr<IAMDroppedFrames> drops;
    PlatformGraph graph;
};

}    // namespace

TEST_F(FaultScenarioInGraph, DroppedFramesNeverComeTheirStampsLeaveTheGapAndTheDropsAreCounted)
{
    Build("drop 2,3; drop-every 5");
    RunFor(12);
    const std::vector<SeenFrame> frames = recorder.Frames();
    const std::vector<LONGLONG> expected = {0, 1, 4, 6, 7, 8, 9, 11, 12, 13, 14, 16};
    ASSERT_GE(frames.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_EQ(frames[i].number, expected[i]);
        EXPECT_EQ(frames[i].differingBytes, 0u);
        // The camera's clock passed the dropped frames: frame k of a new pin is stamped
        // (k + 1) * 10 ms.
        EXPECT_EQ(frames[i].start, (expected[i] + 1) * 10 * Ms);
        EXPECT_EQ(frames[i].stop, frames[i].start + Ms);
        const bool afterGap =
            expected[i] == 4 || expected[i] == 6 || expected[i] == 11 || expected[i] == 16;
        EXPECT_EQ(frames[i].discontinuity, afterGap);
    }

    // Counted as they happened, and still there after the stop.
    const LONG delivered = Delivered();
    EXPECT_EQ(size_t(delivered), recorder.Frames().size());
    const LONG lastDelivered = LONG(recorder.Frames().back().number);
    LONG expectedDrops = 2 + lastDelivered / 5 - (lastDelivered >= 5 && lastDelivered % 5 == 0);
    EXPECT_EQ(Dropped(), expectedDrops);
    long numbers[4] = {};
    long copied = 0;
    ASSERT_EQ(drops->GetDroppedInfo(4, numbers, &copied), S_OK);
    EXPECT_EQ(copied, 4);
    EXPECT_EQ(std::vector<long>(numbers, numbers + 4), (std::vector<long>{2, 3, 5, 10}));
    long average = 0;
    ASSERT_EQ(drops->GetAverageFrameSize(&average), S_OK);
    EXPECT_EQ(average, 786432);
    EXPECT_EQ(drops->GetDroppedInfo(0, numbers, &copied), E_INVALIDARG);
    EXPECT_EQ(drops->GetDroppedInfo(4, nullptr, &copied), E_POINTER);
    EXPECT_EQ(drops->GetNumDropped(nullptr), E_POINTER);

    // A new start counts from zero, and its frames from 0 again.
    recorder.ClearFrames();
    RunFor(3);
    EXPECT_EQ(recorder.Numbers()[0], 0);
    EXPECT_LE(Dropped(), Delivered());
}

TEST_F(FaultScenarioInGraph, EveryFrameComesAsTheScenariosRuleSaysWithShareDropsAndJitter)
{
    const char* text = "drop-percent 20 7; jitter 4; stamp-step 9 300; drop 2";
    FaultScenario scenario;
    char problem[ScenarioProblemBytes];
    ASSERT_TRUE(FaultScenario::Parse(text, &scenario, problem));
    Build(text);
    RunFor(25);
    const std::vector<SeenFrame> frames = recorder.Frames();
    size_t seen = 0;
    for (LONGLONG frame = 0; seen < 25; ++frame) {
        const FrameFate fate = scenario.FateOf(frame);
        if (!fate.delivered)
            continue;
        SCOPED_TRACE(frame);
        ASSERT_EQ(frames[seen].number, frame);
        EXPECT_EQ(frames[seen].start, ((frame + 1) * 10 + fate.stampShiftMs) * Ms);
        EXPECT_EQ(frames[seen].discontinuity, fate.discontinuity);
        ++seen;
    }
    long numbers[KeptDroppedFrames] = {};
    long copied = 0;
    ASSERT_EQ(drops->GetDroppedInfo(KeptDroppedFrames, numbers, &copied), S_OK);
    EXPECT_EQ(copied, Dropped());
    for (long i = 0; i < copied; ++i)
        EXPECT_FALSE(scenario.FateOf(numbers[i]).delivered) << numbers[i];
}

TEST_F(FaultScenarioInGraph, FramesRepeatCorruptLoseTheirTimeAndShiftTheirStampsAsNamed)
{
    Build("repeat 1; corrupt 2; no-stamp 3; stamp-step 4 -25");
    RunFor(7);
    const std::vector<SeenFrame> frames = recorder.Frames();
    ASSERT_GE(frames.size(), 7u);
    const std::vector<LONGLONG> numbers = {0, 1, 1, 2, 3, 4, 5};
    for (size_t i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(frames[i].number, numbers[i]) << i;
    // The repeat takes the next place on the clock, and the frames after it follow it.
    const std::vector<REFERENCE_TIME> starts = {10, 20, 30, 40, 0, 60 - 25, 70 - 25};
    for (size_t i = 0; i < starts.size(); ++i) {
        if (i == 4)
            continue;
        EXPECT_EQ(frames[i].timeResult, S_OK) << i;
        EXPECT_EQ(frames[i].start, starts[i] * Ms) << i;
    }
    EXPECT_EQ(frames[4].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
    // The corrupted frame differs in its white band of 16 rows and nowhere else: in every
    // byte of it but the few that were 0xFF already.
    EXPECT_LE(frames[3].differingBytes, 16u * 512 * 4);
    EXPECT_GT(frames[3].differingBytes, 16u * 512 * 4 * 99 / 100);
    for (size_t i : {0, 1, 2, 4, 5})
        EXPECT_EQ(frames[i].differingBytes, 0u) << i;
    for (const SeenFrame& frame : frames)
        EXPECT_FALSE(frame.discontinuity);
    EXPECT_EQ(Dropped(), 0);
}

TEST_F(FaultScenarioInGraph, AnEndALostDeviceAndAnAbortEachStopTheStreamAsThePlatformDoes)
{
    {
        SCOPED_TRACE("end");
        Build("end 4");
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        const auto seen = graph.EventsUntil(EC_COMPLETE);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().code, EC_COMPLETE);
        EXPECT_EQ(recorder.Numbers(), (std::vector<LONGLONG>{0, 1, 2, 3}));
        ASSERT_EQ(graph.control->Stop(), S_OK);
        graph.Release();
        recorder.ClearFrames();
    }
    {
        SCOPED_TRACE("abort");
        Build("abort 3 0x80070015");
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        const auto seen = graph.EventsUntil(EC_ERRORABORT);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().code, EC_ERRORABORT);
        EXPECT_EQ(HRESULT(seen.back().first), HRESULT(0x80070015));
        EXPECT_EQ(recorder.Numbers(), (std::vector<LONGLONG>{0, 1, 2}));
        EndsWithoutWaiting([&] { graph.control->Stop(); });
        graph.Release();
        recorder.ClearFrames();
    }
    {
        SCOPED_TRACE("lose-device");
        Build("lose-device 2");
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        const auto seen = graph.EventsUntil(EC_DEVICE_LOST);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().code, EC_DEVICE_LOST);
        ComPtr<IUnknown> identity;
        filter->QueryInterface(IID_IUnknown, identity.PutVoid());
        EXPECT_EQ(seen.back().first, reinterpret_cast<LONG_PTR>(identity.Get()));
        EXPECT_EQ(seen.back().second, 0);
        EXPECT_EQ(recorder.Numbers(), (std::vector<LONGLONG>{0, 1}));
        // Nothing more comes, not even an end of stream; a stop ends the wait at once.
        EXPECT_FALSE(graph.WaitForEvent(EC_COMPLETE, nullptr, 200));
        EndsWithoutWaiting([&] { graph.control->Stop(); });
        // A restarted stream finds the device back, until frame 2 again.
        recorder.ClearFrames();
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        EXPECT_TRUE(graph.WaitForEvent(EC_DEVICE_LOST));
        EXPECT_EQ(recorder.Numbers(), (std::vector<LONGLONG>{0, 1}));
        // A pause waits for nothing either, and brings no frame from a lost device.
        EndsWithoutWaiting([&] { graph.control->Pause(); });
        EXPECT_FALSE(recorder.WaitForSamples(3, 200));
    }
}

TEST_F(FaultScenarioInGraph, AFailingStartLeavesTheFilterStoppedAndUsable)
{
    Build("fail-start 0x8007001F");
    EXPECT_EQ(filter->Pause(), HRESULT(0x8007001F));
    FILTER_STATE state = State_Running;
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // Wine's graph starts its filters on a thread of its own: the failure shows in Run's
    // answer or in the state it reports after.
    const HRESULT ran = graph.control->Run();
    OAFilterState graphState = -1;
    const HRESULT reported = graph.control->GetState(2000, &graphState);
    EXPECT_TRUE(FAILED(ran) || FAILED(reported));
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    graph.control->Stop();
    EXPECT_EQ(recorder.Count(), 0u);

    ASSERT_EQ(faults->SetFaultScenario(""), S_OK);
    RunFor(2);
    EXPECT_EQ(recorder.Numbers()[0], 0);
}

TEST_F(FaultScenarioInGraph, NoStopPauseOrReleaseWaitsOutAStall)
{
    // Ten minutes before frame 2: every host call below would wait them out if it waited.
    Build("stall 2 600000");
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(recorder.WaitForSamples(2));
    EXPECT_FALSE(recorder.WaitForSamples(3, 200));
    // A pause ends the stall, and the frame comes.
    EndsWithoutWaiting([&] { graph.control->Pause(); });
    ASSERT_TRUE(recorder.WaitForSamples(3));
    EXPECT_EQ(recorder.Numbers()[2], 2);
    EndsWithoutWaiting([&] { graph.control->Stop(); });

    // Stopped in the middle of a stall at the start, and released in the middle of one.
    ASSERT_EQ(faults->SetFaultScenario("late-start 600000"), S_OK);
    recorder.ClearFrames();
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    EXPECT_FALSE(recorder.WaitForSamples(1, 200));
    // The graph pauses its filters on the way to stopping them, which lets frame 0 go.
    EndsWithoutWaiting([&] { graph.control->Stop(); });
    EXPECT_LE(recorder.Count(), 1u);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    EndsWithoutWaiting([&] {
        graph.Release();
        faults.Reset();
        drops.Reset();
        filter.Reset();
    });
}

TEST_F(FaultScenarioInGraph, AStreamThatDropsEveryFrameStillStopsAndReleasesAtOnce)
{
    // After frame 0 the camera makes frame after frame and delivers none: a worker that
    // looked for commands only between delivered frames would never see the stop.
    Build("drop-every 1");
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(DropsReach(1));
    EndsWithoutWaiting([&] { graph.control->Stop(); });
    EXPECT_EQ(recorder.Numbers(), (std::vector<LONGLONG>{0}));
    EXPECT_EQ(Delivered(), 1);

    recorder.ClearFrames();
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(DropsReach(1));
    EndsWithoutWaiting([&] {
        graph.Release();
        faults.Reset();
        drops.Reset();
        filter.Reset();
    });
}

TEST_F(FaultScenarioInGraph, AWrappingClockStampsTheFirstFrameASecondShortOf32BitMilliseconds)
{
    Build("clock-wrap");
    RunFor(2);
    const std::vector<SeenFrame> frames = recorder.Frames();
    EXPECT_EQ(frames[0].start, (0x100000000LL - 1000) * Ms);
    EXPECT_EQ(frames[1].start, (0x100000000LL - 990) * Ms);
    EXPECT_EQ(frames[0].number, 0);
}

TEST_F(FaultScenarioInGraph, BottomUpFramesAreListedWithAPositiveHeightAndDeliveredTurned)
{
    Build("bottom-up");
    ComPtr<IAMStreamConfig> config;
    CapturePinOf(filter.Get())->QueryInterface(IID_IAMStreamConfig, config.PutVoid());
    AM_MEDIA_TYPE* connected = nullptr;
    ASSERT_EQ(config->GetFormat(&connected), S_OK);
    MediaTypePtr owned(connected);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(connected->pbFormat)->bmiHeader.biHeight, 384);
    AM_MEDIA_TYPE* capability = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    ASSERT_EQ(config->GetStreamCaps(0, &capability, reinterpret_cast<BYTE*>(&caps)), S_OK);
    MediaTypePtr ownedCapability(capability);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(capability->pbFormat)->bmiHeader.biHeight, 384);

    RunFor(2);
    for (const SeenFrame& frame : recorder.Frames()) {
        EXPECT_TRUE(frame.rowsReversed);
        EXPECT_EQ(frame.differingBytes, 0u);
    }
    // Without the scenario the pin goes back to top-down at once.
    ASSERT_EQ(faults->SetFaultScenario(""), S_OK);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(CapturePinOf(filter.Get())->EnumMediaTypes(types.Put()), S_OK);
    AM_MEDIA_TYPE* first = nullptr;
    ASSERT_EQ(types->Next(1, &first, nullptr), S_OK);
    MediaTypePtr ownedFirst(first);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(first->pbFormat)->bmiHeader.biHeight, -384);
}

TEST_F(FaultScenarioInGraph, EachStartTakesTheStoredScenarioUnlessTheInstanceHasOne)
{
    char path[SettingsKeyPathBytes];
    ASSERT_TRUE(SettingsKeyPath(TestVariantA.filterClassId, path));
    ASSERT_EQ(WriteSettingText(path, FaultScenarioValueName, "drop 0"), ERROR_SUCCESS);
    Build(nullptr);
    char* described = nullptr;
    ASSERT_EQ(faults->GetFaultScenario(&described), S_OK);
    EXPECT_STREQ(described, "drop 0");
    CoTaskMemFree(described);

    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(recorder.WaitForSamples(1));
    // Stored while streaming: the stream keeps its own, the next start takes the new one.
    ASSERT_EQ(WriteSettingText(path, FaultScenarioValueName, "drop 1"), ERROR_SUCCESS);
    ASSERT_EQ(faults->GetFaultScenario(&described), S_OK);
    EXPECT_STREQ(described, "drop 0");
    CoTaskMemFree(described);
    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_EQ(recorder.Numbers()[0], 1);

    recorder.ClearFrames();
    RunFor(2);
    EXPECT_EQ(recorder.Numbers()[0], 0);
    EXPECT_EQ(recorder.Numbers()[1], 2);

    // A stored text that does not parse is no scenario at all.
    ASSERT_EQ(WriteSettingText(path, FaultScenarioValueName, "drop 1; stall"), ERROR_SUCCESS);
    recorder.ClearFrames();
    RunFor(2);
    EXPECT_EQ(recorder.Numbers()[1], 1);

    // The instance's scenario wins until it is taken back with null.
    ASSERT_EQ(faults->SetFaultScenario("drop 0,1"), S_OK);
    EXPECT_EQ(faults->SetFaultScenario("drop 1; stall"), E_INVALIDARG);
    recorder.ClearFrames();
    RunFor(1);
    EXPECT_EQ(recorder.Numbers()[0], 2);
    ASSERT_EQ(WriteSettingText(path, FaultScenarioValueName, "drop 0"), ERROR_SUCCESS);
    ASSERT_EQ(faults->SetFaultScenario(nullptr), S_OK);
    recorder.ClearFrames();
    RunFor(1);
    EXPECT_EQ(recorder.Numbers()[0], 1);
    EXPECT_EQ(faults->GetFaultScenario(nullptr), E_POINTER);
}

TEST_F(FaultScenarioInGraph, AnActiveFilterWithNoStreamNamesTheScenarioItsNextStartTakes)
{
    ASSERT_EQ(filter->Pause(), S_OK);    // unconnected: active, but no stream runs
    ASSERT_EQ(faults->SetFaultScenario("stall 3 40"), S_OK);
    char* described = nullptr;
    ASSERT_EQ(faults->GetFaultScenario(&described), S_OK);
    EXPECT_STREQ(described, "stall 3 40");
    CoTaskMemFree(described);
    ASSERT_EQ(filter->Stop(), S_OK);
}
