// The connection protocol of an output pin with a downstream pin that a test controls.
#include "TestSource.h"
#include "fakes/FakeInputPin.h"
#include "framework/ModuleState.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

class PinConnection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        filter = MakeTestSource(&source, &log);
        pin = static_cast<IPin*>(source->Stream());
    }
    void TearDown() override
    {
        filter->Stop();
        pin->Disconnect();
        downstream.Disconnect();
        filter.Reset();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(peerAllocator.References(), 0);
        EXPECT_EQ(platformAllocator.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
    }

    CMediaTypeRecord TestType(WORD bitCount = 32)
    {
        CMediaTypeRecord type;
        FillTestType(&type, bitCount);
        return type;
    }

    const LONG startCount = ObjectCount;
    CallLog log;
    FakeInputPin downstream{&log};
    FakeAllocator peerAllocator{&log, "peerAllocator"};
    FakeAllocator platformAllocator{&log, "platformAllocator"};
    CTestSource* source = nullptr;
    ComPtr<IBaseFilter> filter;
    IPin* pin = nullptr;    // no reference: the filter's
};

TEST_F(PinConnection, MakesTheCallsOfOneConnectionInOrder)
{
    downstream.offeredTypes.push_back(TestType());
    downstream.proposedAllocator = &peerAllocator;

    ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);

    const Calls expected = {
        "peer.EnumMediaTypes",
        "peer.EnumMediaTypes.Reset",
        "peer.EnumMediaTypes.Next",
        "peer.QueryDirection",
        "peer.QueryInterface(IMemInputPin)",
        "source.AcceptsMediaType",
        "source.SetConnectionType",
        "peer.ReceiveConnection",
        "peer.GetAllocatorRequirements",
        "peer.GetAllocator",
        "source.ChooseBufferSize",
        "peerAllocator.SetProperties",
        "peer.NotifyAllocator",
    };
    EXPECT_EQ(log.Calls(), expected);
    EXPECT_EQ(downstream.connector.Get(), pin);
    ComPtr<IPin> connected;
    EXPECT_EQ(pin->ConnectedTo(connected.Put()), S_OK);
    EXPECT_EQ(connected.Get(), static_cast<IPin*>(&downstream));
    connected.Reset();

    ASSERT_EQ(pin->Disconnect(), S_OK);
    EXPECT_EQ(log.Calls().back(), "peerAllocator.Decommit");
    EXPECT_EQ(pin->Disconnect(), S_FALSE);
}

TEST_F(PinConnection, FallsBackToItsOwnTypeWhenThePeersTypesAreRefused)
{
    downstream.offeredTypes.push_back(TestType(24));    // the test source takes only RGB32

    ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
    EXPECT_TRUE(IsEqualGUID(downstream.receivedType.subtype, MEDIASUBTYPE_RGB32));
    EXPECT_EQ(log.Count("source.AcceptsMediaType"), 2u);
    // The refused type was torn down before the next try, so only one interface is held.
    EXPECT_EQ(log.Count("peer.QueryInterface(IMemInputPin)"), 2u);
}

TEST_F(PinConnection, RefusalOfEveryTypeLeavesThePinUnconnectedHoldingNothing)
{
    downstream.offeredTypes.push_back(TestType());
    downstream.refusedSubtype = &MEDIASUBTYPE_RGB32;
    downstream.proposedAllocator = &peerAllocator;

    EXPECT_EQ(pin->Connect(&downstream, nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(source->Stream()->IsConnected());
    EXPECT_EQ(downstream.References(), 0);
    EXPECT_EQ(log.Count("peer.GetAllocator"), 0u);
}

TEST_F(PinConnection, ReportsTheFirstFailureThatIsNotAPlainRefusal)
{
    downstream.offeredTypes.push_back(TestType());
    downstream.receiveConnectionResult = E_OUTOFMEMORY;

    EXPECT_EQ(pin->Connect(&downstream, nullptr), E_OUTOFMEMORY);
    EXPECT_FALSE(source->Stream()->IsConnected());
    EXPECT_EQ(downstream.References(), 0);
}

TEST_F(PinConnection, TriesOnlyAFullySpecifiedProposalWithoutEnumerating)
{
    CMediaTypeRecord proposal = TestType();
    ASSERT_EQ(pin->Connect(&downstream, &proposal), S_OK);
    EXPECT_EQ(log.Count("peer.EnumMediaTypes"), 0u);

    ASSERT_EQ(pin->Disconnect(), S_OK);
    CMediaTypeRecord refused = TestType(24);
    EXPECT_EQ(pin->Connect(&downstream, &refused), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(log.Count("peer.EnumMediaTypes"), 0u);
}

TEST_F(PinConnection, UsesAPartialProposalAsAPatternOverBothTypeLists)
{
    downstream.offeredTypes.push_back(TestType());
    CMediaTypeRecord pattern;
    pattern.AssignMajorType(MEDIATYPE_Video);
    pattern.AssignSubtype(MEDIASUBTYPE_RGB24);    // nobody's type fits
    EXPECT_EQ(pin->Connect(&downstream, &pattern), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(log.Count("peer.EnumMediaTypes"), 1u);
    EXPECT_EQ(log.Count("source.AcceptsMediaType"), 0u);

    pattern.AssignSubtype(MEDIASUBTYPE_RGB32);
    EXPECT_EQ(pin->Connect(&downstream, &pattern), S_OK);
}

TEST_F(PinConnection, TakesThePlatformAllocatorWhenThePeersGrantsTooLittle)
{
    downstream.offeredTypes.push_back(TestType());
    downstream.proposedAllocator = &peerAllocator;
    peerAllocator.grantBytesShort = 1;

    ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
    ASSERT_EQ(downstream.notifiedAllocators.size(), 1u);
    EXPECT_NE(downstream.notifiedAllocators[0], &peerAllocator);
    EXPECT_EQ(source->Stream()->lastSizedAllocator, downstream.notifiedAllocators[0]);
    EXPECT_EQ(source->Stream()->lastRequest.cbAlign, 1);    // the peer asked for 0
    EXPECT_EQ(peerAllocator.References(), 0);
}

TEST_F(PinConnection, TakesThePlatformAllocatorWhenThePeerRefusesItsOwn)
{
    downstream.offeredTypes.push_back(TestType());
    downstream.proposedAllocator = &peerAllocator;
    downstream.notifyResult = E_FAIL;
    downstream.requirements.cbAlign = 16;
    downstream.requirements.cbPrefix = 8;

    ASSERT_EQ(pin->Connect(&downstream, nullptr), S_OK);
    ASSERT_EQ(downstream.notifiedAllocators.size(), 2u);
    EXPECT_EQ(downstream.notifiedAllocators[0], &peerAllocator);
    EXPECT_NE(downstream.notifiedAllocators[1], &peerAllocator);
    EXPECT_EQ(source->Stream()->lastRequest.cbAlign, 16);
    EXPECT_EQ(source->Stream()->lastRequest.cbPrefix, 8);
    EXPECT_EQ(peerAllocator.References(), 0);
}

TEST_F(PinConnection, AFailedAllocatorChoiceDisconnectsThePeerAndHoldsNothing)
{
    downstream.offeredTypes.push_back(TestType());
    downstream.proposedAllocator = &peerAllocator;
    peerAllocator.setPropertiesResult = E_FAIL;
    platformAllocator.setPropertiesResult = E_OUTOFMEMORY;
    source->Stream()->platformAllocator = &platformAllocator;

    EXPECT_EQ(pin->Connect(&downstream, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(log.Count("peer.Disconnect"), 2u);    // once for each type tried
    EXPECT_FALSE(source->Stream()->IsConnected());
    EXPECT_EQ(downstream.References(), 0);
}

TEST_F(PinConnection, RefusesPeersOfTheSameDirectionAndPinsThatTakeNoSamples)
{
    CMediaTypeRecord type = TestType();
    downstream.direction = PINDIR_OUTPUT;
    EXPECT_EQ(pin->ReceiveConnection(&downstream, &type), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(pin->Connect(&downstream, &type), VFW_E_INVALID_DIRECTION);
    EXPECT_FALSE(source->Stream()->IsConnected());

    downstream.direction = PINDIR_INPUT;
    downstream.takesSamples = false;
    EXPECT_EQ(pin->Connect(&downstream, &type), E_NOINTERFACE);
    EXPECT_EQ(downstream.References(), 0);
}

TEST_F(PinConnection, ReceiveConnectionAcceptsWhatTheStreamAcceptsAndNothingTwice)
{
    CMediaTypeRecord type = TestType();
    CMediaTypeRecord refused = TestType(24);
    EXPECT_EQ(pin->ReceiveConnection(&downstream, nullptr), E_POINTER);
    EXPECT_EQ(pin->ReceiveConnection(&downstream, &refused), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(downstream.References(), 0);
    ASSERT_EQ(pin->ReceiveConnection(&downstream, &type), S_OK);
    EXPECT_EQ(pin->ReceiveConnection(&downstream, &type), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(pin->Connect(&downstream, &type), VFW_E_ALREADY_CONNECTED);
}

TEST_F(PinConnection, ConnectionChangesOnlyWhileTheFilterIsStopped)
{
    CMediaTypeRecord type = TestType();
    ASSERT_EQ(pin->Connect(&downstream, &type), S_OK);
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(pin->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(filter->Stop(), S_OK);
    ASSERT_EQ(pin->Disconnect(), S_OK);
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(pin->Connect(&downstream, &type), VFW_E_NOT_STOPPED);
    EXPECT_EQ(pin->ReceiveConnection(&downstream, &type), VFW_E_NOT_STOPPED);
    ASSERT_EQ(filter->Stop(), S_OK);
}

TEST_F(PinConnection, ConnectionMediaTypeCopiesTheTypeOrResetsTheCallersRecord)
{
    AM_MEDIA_TYPE record;
    std::memset(&record, 0xCD, sizeof(record));
    EXPECT_EQ(pin->ConnectionMediaType(&record), VFW_E_NOT_CONNECTED);
    EXPECT_TRUE(IsEqualGUID(record.majortype, GUID_NULL));
    EXPECT_EQ(record.lSampleSize, 1u);
    EXPECT_EQ(record.pbFormat, nullptr);
    EXPECT_EQ(pin->ConnectionMediaType(nullptr), E_POINTER);

    CMediaTypeRecord type = TestType();
    ASSERT_EQ(pin->Connect(&downstream, &type), S_OK);
    CMediaTypeRecord copy;
    ASSERT_EQ(pin->ConnectionMediaType(&copy), S_OK);
    EXPECT_TRUE(copy.Equals(type));
}

TEST_F(PinConnection, AnswersQueriesAndRefusesStreamEventsAndQualityMessages)
{
    CMediaTypeRecord refused = TestType(24);
    CMediaTypeRecord accepted = TestType();
    EXPECT_EQ(pin->QueryAccept(&refused), S_FALSE);
    EXPECT_EQ(pin->QueryAccept(&accepted), S_OK);
    EXPECT_EQ(pin->QueryAccept(nullptr), E_POINTER);
    EXPECT_EQ(pin->EndOfStream(), E_UNEXPECTED);
    EXPECT_EQ(pin->BeginFlush(), E_UNEXPECTED);
    EXPECT_EQ(pin->EndFlush(), E_UNEXPECTED);
    EXPECT_EQ(pin->NewSegment(0, 10, 1.0), S_OK);

    ComPtr<IQualityControl> quality;
    ASSERT_EQ(pin->QueryInterface(IID_IQualityControl, quality.PutVoid()), S_OK);
    Quality message = {};
    EXPECT_EQ(quality->Notify(filter.Get(), message), E_NOTIMPL);
    EXPECT_EQ(quality->SetSink(nullptr), S_OK);

    PIN_DIRECTION direction = PINDIR_INPUT;
    EXPECT_EQ(pin->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_OUTPUT);
    PIN_INFO info = {};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Test Pin");
    EXPECT_EQ(info.pFilter, filter.Get());
    info.pFilter->Release();
    IPin* none = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(pin->ConnectedTo(&none), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(none, nullptr);
}

TEST_F(PinConnection, DeliveryWithoutAPeerSaysNotConnected)
{
    CTestStream* stream = source->Stream();
    EXPECT_EQ(stream->SendEndOfStream(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(stream->SendBeginFlush(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(stream->SendEndFlush(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(stream->SendNewSegment(0, 1, 1.0), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(stream->DeliverSample(nullptr), VFW_E_NOT_CONNECTED);
    ComPtr<IMediaSample> sample;
    EXPECT_EQ(stream->GetFreeSample(sample.Put(), nullptr, nullptr, 0), E_NOINTERFACE);
}

}    // namespace
