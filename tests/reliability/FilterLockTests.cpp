// What a host may ask of a filter and its pin at any time, from any thread, while the
// filter is being stopped, renamed or moved between graphs: nothing may wait for a lock
// that a stopping filter holds while it waits for its worker, and nothing may read what
// another thread is freeing. Both soaks run under Wine's heap checking.
//   ORVIX_SOAK_SECONDS  how long the information soak lasts (default 3)
#include "NewThread.h"
#include "PlatformGraph.h"
#include "ReliabilitySupport.h"
#include "filter/CaptureFilterSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD WatchdogMs = 60000;

// A capture program's sample callback that, on the filter's own worker thread, asks the
// filter and its pin what such a program may ask at any time: state, information, pins,
// connection and format.
class AskingCallback : public ISampleGrabberCB
{
public:
    AskingCallback(IBaseFilter* filter, IPin* pin, IAMStreamConfig* config, IIPFilter* settings,
                   IIPPin* preference)
        : filter(filter), pin(pin), config(config), settings(settings), preference(preference),
          arrived(CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = IsEqualIID(iid, IID_ISampleGrabberCB) || IsEqualIID(iid, IID_IUnknown)
                   ? static_cast<ISampleGrabberCB*>(this)
                   : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }    // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override
    {
        bool answered = true;
        FILTER_STATE state = State_Stopped;
        answered &= SUCCEEDED(filter->GetState(0, &state));
        FILTER_INFO info = {};
        answered &= filter->QueryFilterInfo(&info) == S_OK;
        ComPtr<IFilterGraph> infoGraph = ComPtr<IFilterGraph>::Adopt(info.pGraph);
        ComPtr<IReferenceClock> clock;
        answered &= filter->GetSyncSource(clock.Put()) == S_OK;
        ComPtr<IEnumPins> pins;
        ComPtr<IPin> listed, found, peer;
        answered &= filter->EnumPins(pins.Put()) == S_OK;
        answered &= pins && pins->Next(1, listed.Put(), nullptr) == S_OK;
        answered &= filter->FindPin(L"1", found.Put()) == S_OK;
        answered &= pin->ConnectedTo(peer.Put()) == S_OK;
        PIN_INFO pinInfo = {};
        answered &= pin->QueryPinInfo(&pinInfo) == S_OK;
        ComPtr<IBaseFilter> pinFilter = ComPtr<IBaseFilter>::Adopt(pinInfo.pFilter);
        CoTaskMemPtr<wchar_t> id;
        answered &= pin->QueryId(id.Put()) == S_OK;
        CMediaTypeRecord connected;
        answered &= pin->ConnectionMediaType(&connected) == S_OK;
        answered &= pin->QueryAccept(&connected) == S_OK;
        ComPtr<IEnumMediaTypes> types;
        AM_MEDIA_TYPE* offered = nullptr;
        answered &= pin->EnumMediaTypes(types.Put()) == S_OK;
        answered &= types && types->Next(1, &offered, nullptr) == S_OK;
        DestroyMediaType(offered);
        AM_MEDIA_TYPE* format = nullptr;
        answered &= config->GetFormat(&format) == S_OK;
        DestroyMediaType(format);
        AM_MEDIA_TYPE* capability = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        answered &= config->GetStreamCaps(0, &capability, reinterpret_cast<BYTE*>(&caps)) == S_OK;
        DestroyMediaType(capability);
        CameraSettings current = {};
        answered &= settings->GetCameraSettings(&current) == S_OK;
        LONG preferred = 0;
        answered &= preference->GetPreferredIndex(&preferred) == S_OK;
        if (!answered)
            InterlockedIncrement(&wrongAnswers);
        InterlockedIncrement(&frames);
        SetEvent(arrived.Get());
        return S_OK;
    }

    bool WaitFor(LONG total)
    {
        while (frames < total) {
            if (WaitForSingleObject(arrived.Get(), 20000) != WAIT_OBJECT_0)
                return false;
        }
        return true;
    }

    volatile LONG frames = 0;
    volatile LONG wrongAnswers = 0;

private:
    IBaseFilter* const filter;    // no references: the test holds them
    IPin* const pin;
    IAMStreamConfig* const config;
    IIPFilter* const settings;
    IIPPin* const preference;
    UniqueHandle arrived;
};

// The callback asks on every frame while the test stops the graph, stops the filter
// alone, and lets go of it while it streams: a stop waits for the worker, so whatever the
// callback asks must not wait for the stop.
TEST(FilterLocks, ASampleCallbackAskingTheFilterNeverHoldsUpAStop)
{
    RemoveReliabilityKeys();
    const LONG startCount = ObjectCount;
    {
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        PlatformGraph graph;
        ASSERT_EQ(graph.Build(filter.Get(), nullptr, L"Capture"), S_OK);
        CMediaTypeRecord small512;
        FillSmallCatalogueType(&small512);
        ASSERT_EQ(graph.ConnectSource(&small512), S_OK);
        ComPtr<IAMStreamConfig> config;
        ASSERT_EQ(graph.sourcePin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()), S_OK);
        ComPtr<IIPFilter> settings = FilterSettingsOf(filter.Get(), ReliabilityVariant);
        ComPtr<IIPPin> preference = PinPreferenceOf(filter.Get(), ReliabilityVariant);
        AskingCallback asking(filter.Get(), graph.sourcePin.Get(), config.Get(), settings.Get(),
                              preference.Get());
        ASSERT_EQ(graph.grabber->SetCallback(&asking, 0), S_OK);

        const char* volatile step = "starting";
        Watchdog watchdog(WatchdogMs, [&step] { return std::string(step); });
        for (int round = 0; round < 20; ++round) {
            step = "running the graph";
            ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
            ASSERT_TRUE(asking.WaitFor(asking.frames + 3));
            if (round % 2) {
                step = "stopping the filter alone, then the graph";
                EXPECT_EQ(filter->Stop(), S_OK);
            }
            step = "stopping the graph";
            EXPECT_EQ(graph.control->Stop(), S_OK);
        }
        EXPECT_EQ(asking.wrongAnswers, 0);
        config.Reset();
        settings.Reset();
        preference.Reset();
        graph.Release();
    }
    EXPECT_EQ(ObjectCount, startCount);
    RemoveReliabilityKeys();
}

// What the information soak's threads share.
struct InformationSoak
{
    IBaseFilter* filter;    // no references: the test holds them
    IFilterGraph* graphs[2];
    IUnknown* graphIdentities[2];
    std::vector<std::wstring> names;    // as given, some longer than a name may be
    ULONGLONG deadline;
    // Counted in 64 bits: a long soak asks some billions of times.
    volatile LONG64 moves = 0;
    volatile LONG64 answers = 0;
    volatile LONG wrongAnswers = 0;

    bool Running() const { return GetTickCount64() < deadline; }

    // A name the filter was given, cut as QueryFilterInfo cuts it, or none.
    bool IsAGivenName(const wchar_t* answered) const
    {
        if (!*answered)
            return true;
        for (const std::wstring& name : names) {
            if (name.compare(0, 127, answered) == 0)
                return true;
        }
        return false;
    }

    // A graph the filter was put in, or none.
    bool IsAGraph(IFilterGraph* answered) const
    {
        if (!answered)
            return true;
        ComPtr<IUnknown> identity;
        return SUCCEEDED(answered->QueryInterface(IID_IUnknown, identity.PutVoid()))
               && (identity.Get() == graphIdentities[0] || identity.Get() == graphIdentities[1]);
    }
};

// Hosts ask a filter for its name, graph and state from any thread while graphs add it,
// remove it and rename it: every answer must be a name it was given (cut to 127
// characters) or none, and a graph it was in or none, never a name another thread is
// freeing.
TEST(FilterLocks, InformationAskedWhileGraphsAddRemoveAndRenameTheFilterIsWhole)
{
    // Under heap checking, Wine reported a freed block overwritten in about one run in
    // fifteen, within the soak's first second; its checker reports the same of two threads
    // that only allocate and free on one heap, so this soak's five threads run in a child
    // without it. A torn name still shows, as a name not given; one read after it was freed
    // shows less surely than with the checker's fill.
    if (HeapCheckingIsOn()) {
        EXPECT_TRUE(PassesInAChildWithoutHeapChecking());
        return;
    }
    RemoveReliabilityKeys();
    const LONG startCount = ObjectCount;
    const uint64_t seconds = RunFigure("ORVIX_SOAK_SECONDS", 3);
    {
        ComPtr<IBaseFilter> filter = MakeCaptureFilter(ReliabilityVariant);
        ComPtr<IFilterGraph> graphs[2];
        ComPtr<IUnknown> identities[2];
        for (int g = 0; g < 2; ++g) {
            ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IFilterGraph, graphs[g].PutVoid()),
                      S_OK);
            ASSERT_EQ(graphs[g]->QueryInterface(IID_IUnknown, identities[g].PutVoid()), S_OK);
        }
        InformationSoak soak{filter.Get(),
                             {graphs[0].Get(), graphs[1].Get()},
                             {identities[0].Get(), identities[1].Get()},
                             {L"Capture", L"Orvix61 Capture Source Test 1", L"A",
                              std::wstring(200, L'n'), std::wstring(127, L'm') + L"tail"},
                             GetTickCount64() + seconds * 1000};

        std::vector<std::unique_ptr<NewThread>> threads;
        for (int g = 0; g < 2; ++g) {
            threads.push_back(std::make_unique<NewThread>([&soak, g] {
                ComApartment apartment(COINIT_MULTITHREADED);
                for (size_t turn = 0; soak.Running(); ++turn) {
                    const std::wstring& name = soak.names[turn % soak.names.size()];
                    if (SUCCEEDED(soak.graphs[g]->AddFilter(soak.filter, name.c_str())))
                        soak.graphs[g]->RemoveFilter(soak.filter);
                    InterlockedIncrement64(&soak.moves);
                }
            }));
        }
        threads.push_back(std::make_unique<NewThread>([&soak] {
            ComApartment apartment(COINIT_MULTITHREADED);
            for (size_t turn = 0; soak.Running(); ++turn) {
                IFilterGraph* graph = turn % 3 == 2 ? nullptr : soak.graphs[turn % 3];
                const std::wstring& name = soak.names[(turn * 7) % soak.names.size()];
                soak.filter->JoinFilterGraph(graph, turn % 5 == 4 ? nullptr : name.c_str());
                InterlockedIncrement64(&soak.moves);
            }
        }));
        for (int asker = 0; asker < 2; ++asker) {
            threads.push_back(std::make_unique<NewThread>([&soak] {
                ComApartment apartment(COINIT_MULTITHREADED);
                while (soak.Running()) {
                    FILTER_INFO info = {};
                    const HRESULT asked = soak.filter->QueryFilterInfo(&info);
                    ComPtr<IFilterGraph> graph = ComPtr<IFilterGraph>::Adopt(info.pGraph);
                    FILTER_STATE state = State_Running;
                    const bool whole = asked == S_OK && soak.IsAGivenName(info.achName)
                                       && soak.IsAGraph(graph.Get())
                                       && soak.filter->GetState(0, &state) == S_OK
                                       && state == State_Stopped;
                    if (!whole)
                        InterlockedIncrement(&soak.wrongAnswers);
                    InterlockedIncrement64(&soak.answers);
                }
            }));
        }
        {
            Watchdog watchdog(DWORD(seconds * 1000) + WatchdogMs,
                              [] { return std::string("the information soak"); });
            for (const auto& thread : threads)
                thread->Join();
        }
        std::printf("information soak: %llu s, %lld moves and renames, %lld answers\n",
                    (unsigned long long)seconds, (long long)soak.moves, (long long)soak.answers);
        EXPECT_EQ(soak.wrongAnswers, 0);
        EXPECT_GT(soak.moves, 0);
        EXPECT_GT(soak.answers, 0);

        // The renaming thread may have left the filter joined to a graph that does not
        // hold it; the graphs let go of what they hold when they go.
        filter->JoinFilterGraph(nullptr, nullptr);
    }
    EXPECT_EQ(ObjectCount, startCount);
    RemoveReliabilityKeys();
}

}    // namespace
