#pragma once
// The platform's own graph objects, as the tests use them: Wine's filter graph manager
// with a source filter feeding the Sample Grabber, which feeds the Null Renderer, run
// without a reference clock so samples flow as fast as they are made.
#include "framework/Locks.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <string>
#include <vector>

extern "C" const CLSID CLSID_SampleGrabber;
extern "C" const CLSID CLSID_NullRenderer;

// One sample as the grabber saw it.
struct GrabbedSample
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT timeResult = S_OK;
    bool syncPoint = false;
    bool discontinuity = false;
    LONG length = 0;
    std::vector<BYTE> bytes;    // kept only for the first samples a test asks for
};

// Records what passes the Sample Grabber; runs on the source's worker thread.
class GrabberRecorder : public ISampleGrabberCB
{
public:
    explicit GrabberRecorder(size_t samplesToKeepBytes = 0);
    ~GrabberRecorder();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }    // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double time, BYTE* buffer, long length) override;

    // Waits until `count` samples have passed in all, at most `timeoutMs`.
    bool WaitForSamples(size_t count, DWORD timeoutMs = 20000);
    std::vector<GrabbedSample> Samples();
    size_t Count();
    void Clear();

private:
    CriticalSection lock;
    std::vector<GrabbedSample> samples;
    const size_t samplesToKeepBytes;
    UniqueHandle arrived;
};

// source -> Sample Grabber -> Null Renderer in a new filter graph, with no clock.
class PlatformGraph
{
public:
    PlatformGraph() = default;
    PlatformGraph(const PlatformGraph&) = delete;
    PlatformGraph& operator=(const PlatformGraph&) = delete;
    ~PlatformGraph() { Release(); }

    // Stops the graph, takes the grabber's callback back and lets go of everything,
    // so a recorder may die after this and the graph may be built again.
    void Release();

    // Adds the source under `sourceName`; `recorder` may be null.
    HRESULT Build(IBaseFilter* source, GrabberRecorder* recorder,
                  const wchar_t* sourceName = L"Source");
    // Connects the source's first output pin to the grabber (intelligent connect off),
    // and the grabber to the renderer if that is not done yet.
    HRESULT ConnectSource(const AM_MEDIA_TYPE* proposed = nullptr);
    // Breaks the source's connection on both ends.
    HRESULT DisconnectSource();

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IBaseFilter> renderer;
    ComPtr<IPin> sourcePin;

    // Waits for the graph event `code`, skipping others; its first parameter in `param`.
    bool WaitForEvent(long code, LONG_PTR* param = nullptr, DWORD timeoutMs = 20000);

    // One graph event as the graph gave it.
    struct Event
    {
        long code;
        LONG_PTR first;
        LONG_PTR second;
    };
    // The events up to and with `code`, in order, or all that came within `timeoutMs`
    // when it did not come.
    std::vector<Event> EventsUntil(long code, DWORD timeoutMs = 20000);
};

// The first pin of `filter` with direction `direction`.
ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);
