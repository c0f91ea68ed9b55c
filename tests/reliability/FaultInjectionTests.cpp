// Every call the capture filter makes on its host failing once, in turn: the peer's
// direction and transport queries, its type list, ReceiveConnection, the allocator's
// requirements, choice, sizing, commit, buffers and decommit, delivery, the end of the
// stream and the event sink. The failure is reported as the filter documents it, no
// reference is left behind, and the filter connects and streams again afterwards.
// (Registry writes that fail are in RegistryFaultTests.cpp.)
#include "ReliabilitySupport.h"
#include "camera/FormatCatalogue.h"
#include "fakes/FakeGraph.h"
#include "fakes/FakeInputPin.h"
#include "filter/CaptureFilterSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Distinct from every code the filter makes of its own.
const HRESULT Injected = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

class FaultInjection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveReliabilityKeys();
        filter = MakeCaptureFilter(ReliabilityVariant);
        stream = CapturePinOf(filter.Get());
        pin = static_cast<IPin*>(stream);
        const LONG small = 6;    // the pin's own type: 512 x 384 RGB24
        ASSERT_EQ(PinPreferenceOf(filter.Get(), ReliabilityVariant)->SetPreferredIndex(&small),
                  S_OK);
        graph.log = &log;
        ASSERT_EQ(filter->JoinFilterGraph(&graph, L"Capture"), S_OK);
        FillSmallCatalogueType(&small512);
        // The peer offers 1024 x 768 RGB32, so it shows whose list a connection came from.
        CMediaTypeRecord offered;
        ASSERT_EQ(BuildListedMediaType(2, FirstFormatIndex, 18.0, &offered), S_OK);
        downstream.offeredTypes.push_back(offered);
        downstream.proposedAllocator = &peerAllocator;
    }
    void TearDown() override
    {
        filter->Stop();
        pin->Disconnect();
        downstream.Disconnect();
        filter->JoinFilterGraph(nullptr, nullptr);
        filter.Reset();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(peerAllocator.References(), 0);
        EXPECT_EQ(graph.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
        RemoveReliabilityKeys();
        std::printf("%ld faults injected\n", injected);
    }

    void Arm(const char* call, HRESULT failure = Injected, LONG times = 1)
    {
        log.FailNext(call, failure, times);
        injected += times;
    }
    // Every armed failure happened.
    void ExpectSpent(const char* call) { EXPECT_EQ(log.FaultsLeft(call), 0) << call; }

    void ExpectHoldingNothing()
    {
        ComPtr<IPin> peer;
        EXPECT_EQ(pin->ConnectedTo(peer.Put()), VFW_E_NOT_CONNECTED);
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(peerAllocator.References(), 0);
    }
    LONG ConnectedWidth()
    {
        CMediaTypeRecord connected;
        EXPECT_EQ(pin->ConnectionMediaType(&connected), S_OK);
        return connected.cbFormat >= sizeof(VIDEOINFOHEADER)
                   ? reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat)->bmiHeader.biWidth
                   : 0;
    }
    void StreamThreeFrames()
    {
        const LONG before = downstream.received;
        ASSERT_EQ(filter->Run(0), S_OK);
        EXPECT_TRUE(downstream.WaitForSamples(before + 3));
        EXPECT_EQ(filter->Stop(), S_OK);
        EXPECT_FALSE(stream->HasWorker());
    }
    void Disconnect()
    {
        EXPECT_EQ(pin->Disconnect(), S_OK);
        downstream.Disconnect();
        ExpectHoldingNothing();
    }
    // After a fault the filter still does its whole job with a host that behaves.
    void ConnectsAndStreamsAgain()
    {
        ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
        StreamThreeFrames();
        Disconnect();
    }

    const LONG startCount = ObjectCount;
    CallLog log;
    FakeInputPin downstream{&log};
    FakeAllocator peerAllocator{&log, "peerAllocator"};
    FakeGraph graph;
    ComPtr<IBaseFilter> filter;
    CCapSrcStream* stream = nullptr;
    IPin* pin = nullptr;
    CMediaTypeRecord small512;
    LONG injected = 0;
};

TEST_F(FaultInjection, AFailedConnectionStepIsPassedBackAndLeavesNothingHeld)
{
    struct Step
    {
        const char* call;
        HRESULT reported;
    };
    const Step steps[] = {
        {"peer.QueryDirection", Injected},
        {"peer.QueryInterface(IMemInputPin)", E_NOINTERFACE},
        {"peer.ReceiveConnection", Injected},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.call);
        Arm(step.call);
        EXPECT_EQ(pin->Connect(&downstream, &small512), step.reported);
        ExpectSpent(step.call);
        ExpectHoldingNothing();
        ConnectsAndStreamsAgain();
    }
    // The peer's questions again when the peer starts the connection.
    for (const Step& step : {steps[0], steps[1]}) {
        SCOPED_TRACE(step.call);
        Arm(step.call);
        EXPECT_EQ(pin->ReceiveConnection(&downstream, &small512), step.reported);
        ExpectSpent(step.call);
        ExpectHoldingNothing();
        ConnectsAndStreamsAgain();
    }
}

TEST_F(FaultInjection, APeerWhoseTypeListFailsIsConnectedWithThePinsOwnType)
{
    ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
    EXPECT_EQ(ConnectedWidth(), 1024);    // without a fault, the peer's type comes first
    Disconnect();
    for (const char* call :
         {"peer.EnumMediaTypes", "peer.EnumMediaTypes.Reset", "peer.EnumMediaTypes.Next"}) {
        SCOPED_TRACE(call);
        Arm(call);
        ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
        ExpectSpent(call);
        EXPECT_EQ(ConnectedWidth(), 512);
        StreamThreeFrames();
        Disconnect();
        ConnectsAndStreamsAgain();
    }
}

TEST_F(FaultInjection, AnAllocatorThePeerCannotSupplyOrSizeIsReplacedByThePlatformsOwn)
{
    for (const char* call : {"peer.GetAllocatorRequirements", "peer.GetAllocator",
                             "peerAllocator.SetProperties", "peer.NotifyAllocator"}) {
        SCOPED_TRACE(call);
        downstream.notifiedAllocators.clear();
        Arm(call);
        ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
        ExpectSpent(call);
        ASSERT_FALSE(downstream.notifiedAllocators.empty());
        // Requirements are only advice: without them the peer's allocator still serves.
        const bool peersOwn = call == std::string("peer.GetAllocatorRequirements");
        EXPECT_EQ(downstream.notifiedAllocators.back() == &peerAllocator, peersOwn);
        StreamThreeFrames();
        Disconnect();
        ConnectsAndStreamsAgain();
    }
}

TEST_F(FaultInjection, WithNoAllocatorAtAllTheConnectionFailsAndThePeerIsDisconnected)
{
    Arm("peer.NotifyAllocator", Injected, 2);    // the peer's allocator, then the platform's
    Arm("peer.Disconnect");                      // and the peer will not even let go
    EXPECT_EQ(pin->Connect(&downstream, &small512), Injected);
    ExpectSpent("peer.NotifyAllocator");
    ExpectSpent("peer.Disconnect");
    ExpectHoldingNothing();
    downstream.Disconnect();
    ConnectsAndStreamsAgain();
}

TEST_F(FaultInjection, AnAllocatorThatCannotCommitLeavesTheFilterStopped)
{
    ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
    FILTER_STATE state = State_Running;
    Arm("peerAllocator.Commit");
    EXPECT_EQ(filter->Pause(), Injected);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_FALSE(stream->HasWorker());
    Arm("peerAllocator.Commit");
    EXPECT_EQ(filter->Run(0), Injected);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_FALSE(stream->HasWorker());
    ExpectSpent("peerAllocator.Commit");
    StreamThreeFrames();
    Disconnect();
    ConnectsAndStreamsAgain();
}

TEST_F(FaultInjection, BuffersThatAreNotThereAreAskedForAgainWithoutAWord)
{
    ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
    Arm("peerAllocator.GetBuffer", Injected, 3);
    StreamThreeFrames();
    ExpectSpent("peerAllocator.GetBuffer");
    EXPECT_EQ(downstream.endOfStreams, 0);
    EXPECT_EQ(log.Count("graph.Notify"), 0u);
    Disconnect();
    ConnectsAndStreamsAgain();
}

TEST_F(FaultInjection, ARefusedDeliveryEndsProductionQuietlyUntilTheNextStart)
{
    ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
    Arm("peer.Receive");
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForSamples(1));
    EXPECT_EQ(filter->Stop(), S_OK);
    // The one refused sample was the last: no end of stream, no event.
    EXPECT_EQ(downstream.received, 1);
    EXPECT_EQ(downstream.endOfStreams, 0);
    EXPECT_EQ(log.Count("graph.Notify"), 0u);
    StreamThreeFrames();
    Disconnect();
    ConnectsAndStreamsAgain();
}

TEST_F(FaultInjection, AnAllocatorThatCannotDecommitStillStopsTheWorker)
{
    ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForSamples(2));
    Arm("peerAllocator.Decommit");
    EXPECT_EQ(filter->Stop(), Injected);
    FILTER_STATE state = State_Running;
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // A stopped filter delivers nothing more, and can start again.
    EXPECT_FALSE(stream->HasWorker());
    StreamThreeFrames();

    // Disconnecting needs the decommit: refused, the connection stays whole until it works.
    Arm("peerAllocator.Decommit");
    EXPECT_EQ(pin->Disconnect(), Injected);
    ComPtr<IPin> peer;
    EXPECT_EQ(pin->ConnectedTo(peer.Put()), S_OK);
    peer.Reset();
    ExpectSpent("peerAllocator.Decommit");
    Disconnect();
    ConnectsAndStreamsAgain();
}

TEST_F(FaultInjection, AFillFailureIsReportedEvenWhenTheEndOfStreamAndTheEventSinkFail)
{
    // A sample smaller than a frame makes the frame fail instead of overrunning it.
    peerAllocator.hiddenBytesShort = 4;
    ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
    Arm("peer.EndOfStream");
    Arm("graph.Notify");
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForEndOfStream());
    EXPECT_EQ(filter->Stop(), S_OK);    // the worker has finished its report by now
    ExpectSpent("peer.EndOfStream");
    ExpectSpent("graph.Notify");
    EXPECT_EQ(graph.lastCode, EC_ERRORABORT);
    EXPECT_EQ(HRESULT(graph.lastFirst), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(downstream.received, 0);
    Disconnect();
    peerAllocator.hiddenBytesShort = 0;
    ConnectsAndStreamsAgain();
}

TEST_F(FaultInjection, AGraphWithoutAnEventSinkHearsNothingOfAFillFailure)
{
    ASSERT_EQ(filter->JoinFilterGraph(nullptr, nullptr), S_OK);
    Arm("graph.QueryInterface(IMediaEventSink)");
    ASSERT_EQ(filter->JoinFilterGraph(&graph, L"Capture"), S_OK);
    ExpectSpent("graph.QueryInterface(IMediaEventSink)");
    EXPECT_EQ(graph.References(), 0);
    peerAllocator.hiddenBytesShort = 4;
    ASSERT_EQ(pin->Connect(&downstream, &small512), S_OK);
    ASSERT_EQ(filter->Run(0), S_OK);
    ASSERT_TRUE(downstream.WaitForEndOfStream());
    EXPECT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(log.Count("graph.Notify"), 0u);
    Disconnect();
    peerAllocator.hiddenBytesShort = 0;
    ConnectsAndStreamsAgain();
}

}    // namespace
