// The filter base's state machine, clock, graph membership and pin lookup.
#include "TestSource.h"
#include "fakes/FakeGraph.h"
#include "fakes/FakeInputPin.h"
#include "framework/CBasePin.h"
#include "framework/ModuleState.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FakeClock : public FakeUnknown, public IReferenceClock
{
public:
    REFERENCE_TIME now = 0;
    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IReferenceClock)
                   ? static_cast<IReferenceClock*>(this)
                   : nullptr;
    }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override
    {
        *time = now;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT,
                                         DWORD_PTR*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE,
                                             DWORD_PTR*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR) override { return E_NOTIMPL; }
};

class FilterBase : public ::testing::Test
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
        filter->JoinFilterGraph(nullptr, nullptr);
        filter->SetSyncSource(nullptr);
        filter.Reset();
        EXPECT_EQ(downstream.References(), 0);
        EXPECT_EQ(allocator.References(), 0);
        EXPECT_EQ(clock.References(), 0);
        EXPECT_EQ(graph.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
    }
    void ConnectThroughFakeAllocator()
    {
        CMediaTypeRecord type;
        FillTestType(&type);
        downstream.proposedAllocator = &allocator;
        ASSERT_EQ(pin->Connect(&downstream, &type), S_OK);
        log.Clear();
    }

    const LONG startCount = ObjectCount;
    CallLog log;
    FakeInputPin downstream{&log};
    FakeAllocator allocator{&log, "allocator"};
    FakeClock clock;
    FakeGraph graph;
    CTestSource* source = nullptr;
    ComPtr<IBaseFilter> filter;
    IPin* pin = nullptr;
};

TEST_F(FilterBase, PassesThroughAllStatesWithoutCallingAnUnconnectedPin)
{
    FILTER_STATE state = State_Running;
    EXPECT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(filter->Stop(), S_OK);
    EXPECT_FALSE(source->Stream()->HasWorker());
    EXPECT_EQ(source->Stream()->createCalls, 0);
    EXPECT_EQ(filter->GetState(0, nullptr), E_POINTER);
}

TEST_F(FilterBase, PausingARunningFilterTellsNoPinAndStoppingDeactivatesThem)
{
    ConnectThroughFakeAllocator();
    ASSERT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(log.Count("allocator.Commit"), 1u);
    log.Clear();
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_TRUE(log.Calls().empty());
    ASSERT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(log.Count("allocator.Decommit"), 1u);
    EXPECT_FALSE(source->Stream()->HasWorker());
}

TEST_F(FilterBase, RunFromStoppedStoresItsStartEvenWhenAPinFails)
{
    ConnectThroughFakeAllocator();
    allocator.commitResult = E_OUTOFMEMORY;
    filter->SetSyncSource(&clock);
    clock.now = 5000000;

    EXPECT_EQ(filter->Run(1000000), E_OUTOFMEMORY);
    FILTER_STATE state = State_Running;
    filter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    REFERENCE_TIME streamTime = 0;
    EXPECT_EQ(source->CurrentStreamTime(&streamTime), S_OK);
    EXPECT_EQ(streamTime, 4000000);
}

TEST_F(FilterBase, StopWalksEveryPinAndStopsEvenWhenOneFails)
{
    ConnectThroughFakeAllocator();
    ASSERT_EQ(filter->Pause(), S_OK);
    allocator.decommitResult = E_UNEXPECTED;
    EXPECT_EQ(filter->Stop(), E_UNEXPECTED);
    FILTER_STATE state = State_Running;
    filter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    // The worker is stopped all the same: a stopped filter delivers nothing more.
    EXPECT_FALSE(source->Stream()->HasWorker());
    allocator.decommitResult = S_OK;
}

TEST_F(FilterBase, KeepsTheClockAliveWhenItIsSetAgain)
{
    EXPECT_EQ(source->CurrentStreamTime(nullptr), E_POINTER);
    REFERENCE_TIME time = 0;
    EXPECT_EQ(source->CurrentStreamTime(&time), VFW_E_NO_CLOCK);
    ASSERT_EQ(filter->SetSyncSource(&clock), S_OK);
    EXPECT_EQ(clock.References(), 1);
    ASSERT_EQ(filter->SetSyncSource(&clock), S_OK);
    EXPECT_EQ(clock.References(), 1);
    ComPtr<IReferenceClock> current;
    ASSERT_EQ(filter->GetSyncSource(current.Put()), S_OK);
    EXPECT_EQ(current.Get(), &clock);
    current.Reset();
    ASSERT_EQ(filter->SetSyncSource(nullptr), S_OK);
    EXPECT_EQ(clock.References(), 0);
    ASSERT_EQ(filter->GetSyncSource(current.Put()), S_OK);
    EXPECT_EQ(current.Get(), nullptr);
    EXPECT_EQ(filter->GetSyncSource(nullptr), E_POINTER);
}

TEST_F(FilterBase, FindsItsPinOnlyByTheIdThePinGivesOut)
{
    CoTaskMemPtr<wchar_t> id;
    ASSERT_EQ(pin->QueryId(id.Put()), S_OK);
    EXPECT_STREQ(id.Get(), L"1");
    EXPECT_EQ(pin->QueryId(nullptr), E_POINTER);

    ComPtr<IPin> found;
    EXPECT_EQ(filter->FindPin(L"1", found.Put()), S_OK);
    EXPECT_EQ(found.Get(), pin);
    for (const wchar_t* missing : {L"0", L"2", L"x", L"-1"}) {
        IPin* none = reinterpret_cast<IPin*>(1);
        EXPECT_EQ(filter->FindPin(missing, &none), VFW_E_NOT_FOUND) << missing;
        EXPECT_EQ(none, nullptr);
    }
    EXPECT_EQ(filter->FindPin(L"  +1", found.Put()), S_OK);
    EXPECT_EQ(filter->FindPin(nullptr, found.Put()), E_POINTER);
    EXPECT_EQ(filter->FindPin(L"1", nullptr), E_POINTER);
}

TEST_F(FilterBase, JoinsAGraphWithANameCutTo127Characters)
{
    const std::wstring longName(200, L'n');
    ASSERT_EQ(filter->JoinFilterGraph(&graph, longName.c_str()), S_OK);
    EXPECT_EQ(graph.References(), 0);    // the graph owns the filter, not the reverse
    FILTER_INFO info = {};
    ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::wstring(info.achName), longName.substr(0, 127));
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(&graph));
    info.pGraph->Release();

    ASSERT_EQ(filter->JoinFilterGraph(nullptr, nullptr), S_OK);
    ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"");
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(source->PostGraphEvent(EC_ERRORABORT, E_FAIL, 0), E_NOTIMPL);
    EXPECT_EQ(filter->QueryFilterInfo(nullptr), E_POINTER);
}

TEST_F(FilterBase, PostsEventsToTheGraphsSinkWithItselfOnCompletion)
{
    ASSERT_EQ(filter->JoinFilterGraph(&graph, L"Source"), S_OK);
    EXPECT_EQ(source->PostGraphEvent(EC_ERRORABORT, E_OUTOFMEMORY, 0), S_OK);
    EXPECT_EQ(graph.lastCode, EC_ERRORABORT);
    EXPECT_EQ(graph.lastFirst, LONG_PTR(E_OUTOFMEMORY));
    EXPECT_EQ(source->PostGraphEvent(EC_COMPLETE, S_OK, 12345), S_OK);
    EXPECT_EQ(graph.lastSecond, reinterpret_cast<LONG_PTR>(filter.Get()));
}

TEST_F(FilterBase, AnswersItsIdentityAndLeavesRegistrationToTheModule)
{
    CLSID id = CLSID_NULL;
    EXPECT_EQ(filter->GetClassID(&id), S_OK);
    EXPECT_TRUE(IsEqualCLSID(id, CLSID_TestSource));
    EXPECT_EQ(filter->GetClassID(nullptr), E_POINTER);
    EXPECT_EQ(filter->QueryVendorInfo(nullptr), E_NOTIMPL);

    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(filter->QueryInterface(IID_IAMovieSetup, setup.PutVoid()), S_OK);
    EXPECT_EQ(setup->Register(), S_FALSE);
    EXPECT_EQ(setup->Unregister(), S_FALSE);
    for (REFIID iid : {IID_IMediaFilter, IID_IPersist, IID_IUnknown}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(filter->QueryInterface(iid, answer.PutVoid()), S_OK);
    }
}

TEST_F(FilterBase, EnumeratesItsOnePinAndHoldsTheFilterMeanwhile)
{
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
    filter.Reset();    // the enumerator keeps it alive
    EXPECT_EQ(ObjectCount, startCount + 2);

    IPin* got[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(pins->Next(2, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], pin);
    got[0]->Release();
    EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(pins->Next(0, got, &fetched), S_FALSE);
    EXPECT_EQ(pins->Next(1, nullptr, &fetched), E_POINTER);

    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(2), S_FALSE);
    EXPECT_EQ(pins->Skip(1), S_OK);
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(pins->Clone(clone.Put()), S_OK);
    EXPECT_EQ(clone->Next(1, got, nullptr), S_FALSE);
    filter = ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(source));
}

}    // namespace
