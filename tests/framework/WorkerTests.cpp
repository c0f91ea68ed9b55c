// The source stream's worker thread: its commands, its frame loop and how it ends.
#include "NewThread.h"
#include "TestSource.h"
#include "fakes/FakeInputPin.h"
#include "framework/ModuleState.h"

#include <gtest/gtest.h>

namespace {

class Worker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        filter = MakeTestSource(&source, &log);
        stream = source->Stream();
        pin = static_cast<IPin*>(stream);
    }
    void TearDown() override
    {
        EXPECT_EQ(filter->Stop(), S_OK);
        EXPECT_FALSE(stream->HasWorker());
        downstream.ReleaseHeldSamples();
        pin->Disconnect();
        downstream.Disconnect();
        filter.Reset();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
    }
    void Connect()
    {
        CMediaTypeRecord type;
        FillTestType(&type);
        ASSERT_EQ(pin->Connect(&downstream, &type), S_OK);
    }

    const LONG startCount = ObjectCount;
    CallLog log;
    FakeInputPin downstream{&log};
    CTestSource* source = nullptr;
    CTestStream* stream = nullptr;
    ComPtr<IBaseFilter> filter;
    IPin* pin = nullptr;
};

TEST_F(Worker, UnconnectedStreamStartsNoThread)
{
    EXPECT_EQ(stream->Activate(), S_OK);
    EXPECT_FALSE(stream->HasWorker());
    EXPECT_EQ(stream->Deactivate(), S_OK);
    EXPECT_EQ(stream->SendCommand(CommandInit), E_FAIL);
}

TEST_F(Worker, PauseStartsProductionThatRunningDoesNotRestart)
{
    Connect();
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_TRUE(stream->HasWorker());
    EXPECT_EQ(stream->createCalls, 1);
    ASSERT_TRUE(downstream.WaitForSamples(2));
    EXPECT_EQ(stream->Activate(), S_FALSE);    // already active: nothing changes

    ASSERT_EQ(filter->Run(0), S_OK);
    const LONG seen = downstream.received;
    ASSERT_TRUE(downstream.WaitForSamples(seen + 2));
    EXPECT_EQ(stream->startPlayCalls, 1);
}

TEST_F(Worker, StopReturnsOnlyAfterTheThreadHasEnded)
{
    Connect();
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForSamples(3));
    ASSERT_EQ(filter->Stop(), S_OK);
    EXPECT_FALSE(stream->HasWorker());
    EXPECT_EQ(stream->destroyCalls, 1);
    const LONG filled = stream->samplesFilled;
    EXPECT_EQ(downstream.endOfStreams, 0);
    // A second start makes a new worker that initialises again.
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(stream->createCalls, 2);
    ASSERT_TRUE(downstream.WaitForSamples(filled + 1));
}

TEST_F(Worker, StopIsPromptWhileTheWorkerWaitsForAFreeBuffer)
{
    downstream.holdSamples = true;    // nothing ever goes back to the allocator
    Connect();
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForSamples(stream->bufferCount));
    // The worker now waits in GetBuffer; the decommit must free it.
    ASSERT_EQ(filter->Stop(), S_OK);
    EXPECT_FALSE(stream->HasWorker());
    EXPECT_EQ(downstream.received, stream->bufferCount);
}

TEST_F(Worker, EndOfDataEndsTheStreamDownstreamWithoutAnEvent)
{
    Connect();
    stream->fillResult = S_FALSE;
    stream->failAfter = 2;
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForEndOfStream());
    // The worker stays idle until the stop; it answers commands in the meantime.
    EXPECT_EQ(stream->SendCommand(CommandInit), E_NOTIMPL);
    EXPECT_EQ(downstream.endOfStreams, 1);
    EXPECT_EQ(stream->samplesFilled, 3);
    EXPECT_EQ(downstream.received, 2);
}

TEST_F(Worker, AFillFailureEndsTheStreamAndLeavesTheWorkerIdle)
{
    Connect();
    stream->fillResult = E_OUTOFMEMORY;
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForEndOfStream());
    EXPECT_EQ(stream->SendCommand(CommandInit), E_NOTIMPL);    // idle, not producing
    EXPECT_EQ(downstream.endOfStreams, 1);
    EXPECT_EQ(downstream.received, 0);
}

TEST_F(Worker, DownstreamRefusalEndsProductionSilently)
{
    Connect();
    downstream.receiveResult = S_FALSE;
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForSamples(1));
    EXPECT_EQ(stream->SendCommand(CommandRun), S_OK);    // idle again: a new loop
    ASSERT_TRUE(downstream.WaitForSamples(2));
    EXPECT_EQ(stream->SendCommand(CommandStop), S_OK);
    EXPECT_EQ(downstream.received, 2);
    EXPECT_EQ(downstream.endOfStreams, 0);
    EXPECT_EQ(stream->startPlayCalls, 2);
}

TEST_F(Worker, CommandsWhileProducingOtherThanPauseRunStopAreRefused)
{
    Connect();
    ASSERT_EQ(filter->Pause(), S_OK);
    ASSERT_TRUE(downstream.WaitForSamples(1));
    EXPECT_EQ(stream->SendCommand(CommandInit), E_UNEXPECTED);
    EXPECT_EQ(stream->SendCommand(CommandExit), E_UNEXPECTED);
    EXPECT_EQ(stream->SendCommand(CommandPause), S_OK);
    const LONG seen = downstream.received;
    ASSERT_TRUE(downstream.WaitForSamples(seen + 1));
    EXPECT_EQ(stream->startPlayCalls, 1);
}

TEST_F(Worker, CommandsBeforeInitAreRefusedAndUnknownOnesAreNotImplemented)
{
    ASSERT_TRUE(stream->StartWorker());
    EXPECT_FALSE(stream->StartWorker());
    EXPECT_EQ(stream->SendCommand(CommandPause), E_UNEXPECTED);
    EXPECT_EQ(stream->SendCommand(CommandInit), S_OK);
    EXPECT_EQ(stream->SendCommand(42), E_NOTIMPL);
    EXPECT_EQ(stream->SendCommand(CommandStop), S_OK);
    EXPECT_EQ(stream->SendCommand(CommandExit), S_OK);
    stream->JoinWorker();
    EXPECT_FALSE(stream->HasWorker());
}

TEST_F(Worker, AFailedInitFailsThisActivationAndEveryLaterOne)
{
    Connect();
    stream->createResult = E_ACCESSDENIED;
    EXPECT_EQ(filter->Pause(), E_ACCESSDENIED);
    EXPECT_EQ(stream->destroyCalls, 1);
    FILTER_STATE state = State_Running;
    filter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    stream->createResult = S_OK;
    EXPECT_EQ(filter->Pause(), E_FAIL);
    // An ended worker cannot hang a sender.
    EXPECT_EQ(stream->SendCommand(CommandStop), E_FAIL);
    stream->JoinWorker();
}

// The last reference goes while the worker is inside FillSample of a stream class that,
// like any new one, does nothing in its destructor: the worker must have ended before
// the first destructor runs, or it would call on into a stream whose derived part is gone.
TEST_F(Worker, ReleasingAFilterMidFrameEndsItsWorkerBeforeAnyDestructorRuns)
{
    FakeAllocator allocator(&log, "peerAllocator");
    downstream.proposedAllocator = &allocator;
    Connect();
    Gate fill;
    stream->fillGate = &fill;
    fill.Arm();
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(fill.WaitUntilHeld());
    downstream.Disconnect();    // the downstream lets go of the pin, as a graph does

    NewThread releasing([this] { filter.Reset(); });    // waits for the worker to end
    EXPECT_TRUE(log.WaitFor("peerAllocator.Decommit"));
    fill.Open();
    releasing.Join();

    EXPECT_LT(log.PositionOf("source.FillSample let go"), log.PositionOf("source.OnWorkerDestroy"));
    EXPECT_LT(log.PositionOf("source.OnWorkerDestroy"), log.PositionOf("source stream destroyed"));
    EXPECT_EQ(log.Count("source stream destroyed"), 1u);
    EXPECT_EQ(ObjectCount, startCount);
    EXPECT_EQ(allocator.References(), 0);
    filter = MakeTestSource(&source, &log);
    stream = source->Stream();
    pin = static_cast<IPin*>(stream);
}

TEST_F(Worker, ReleasingARunningFilterStopsItsWorker)
{
    Connect();
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForSamples(1));
    downstream.Disconnect();
    filter.Reset();    // no Stop: the filter's destruction must end the worker
    EXPECT_EQ(ObjectCount, startCount);
    filter = MakeTestSource(&source, &log);
    stream = source->Stream();
    pin = static_cast<IPin*>(stream);
}

}    // namespace
