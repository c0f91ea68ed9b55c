#include "PlatformGraph.h"

#include <cstdio>
#include <cstring>

GrabberRecorder::GrabberRecorder(size_t samplesToKeepBytes)
    : samplesToKeepBytes(samplesToKeepBytes), arrived(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

GrabberRecorder::~GrabberRecorder() = default;

HRESULT GrabberRecorder::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_ISampleGrabberCB) || IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT GrabberRecorder::SampleCB(double, IMediaSample* sample)
{
    GrabbedSample seen;
    seen.timeResult = sample->GetTime(&seen.start, &seen.stop);
    seen.syncPoint = sample->IsSyncPoint() == S_OK;
    seen.discontinuity = sample->IsDiscontinuity() == S_OK;
    seen.length = sample->GetActualDataLength();
    {
        ScopedLock hold(lock);
        if (samples.size() < samplesToKeepBytes) {
            BYTE* buffer = nullptr;
            if (SUCCEEDED(sample->GetPointer(&buffer)) && buffer && seen.length > 0)
                seen.bytes.assign(buffer, buffer + seen.length);
        }
        samples.push_back(std::move(seen));
    }
    SetEvent(arrived.Get());
    return S_OK;
}

HRESULT GrabberRecorder::BufferCB(double, BYTE*, long)
{
    return E_NOTIMPL;
}

bool GrabberRecorder::WaitForSamples(size_t count, DWORD timeoutMs)
{
    const DWORD started = GetTickCount();
    while (Count() < count) {
        const DWORD spent = GetTickCount() - started;
        if (spent >= timeoutMs)
            return false;
        WaitForSingleObject(arrived.Get(), timeoutMs - spent);
    }
    return true;
}

std::vector<GrabbedSample> GrabberRecorder::Samples()
{
    ScopedLock hold(lock);
    return samples;
}

size_t GrabberRecorder::Count()
{
    ScopedLock hold(lock);
    return samples.size();
}

void GrabberRecorder::Clear()
{
    ScopedLock hold(lock);
    samples.clear();
}

ComPtr<IPin> FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())))
        return {};
    for (;;) {
        ComPtr<IPin> pin;
        if (pins->Next(1, pin.Put(), nullptr) != S_OK)
            return {};
        PIN_DIRECTION pinDirection = PINDIR_INPUT;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction)
            return pin;
    }
}

void PlatformGraph::Release()
{
    if (control)
        control->Stop();
    if (grabber)
        grabber->SetCallback(nullptr, 0);
    sourcePin.Reset();
    renderer.Reset();
    grabber.Reset();
    grabberFilter.Reset();
    events.Reset();
    control.Reset();
    graph.Reset();
}

HRESULT PlatformGraph::Build(IBaseFilter* source, GrabberRecorder* recorder,
                             const wchar_t* sourceName)
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, graph.PutVoid());
    if (FAILED(hr))
        return hr;
    graph->QueryInterface(IID_IMediaControl, control.PutVoid());
    graph->QueryInterface(IID_IMediaEvent, events.PutVoid());
    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          grabberFilter.PutVoid());
    if (FAILED(hr))
        return hr;
    grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.PutVoid());
    hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          renderer.PutVoid());
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = graph->AddFilter(source, sourceName))
        || FAILED(hr = graph->AddFilter(grabberFilter.Get(), L"Sample Grabber"))
        || FAILED(hr = graph->AddFilter(renderer.Get(), L"Null Renderer")))
        return hr;
    if (recorder)
        grabber->SetCallback(recorder, 0);
    grabber->SetBufferSamples(FALSE);

    ComPtr<IMediaFilter> timing;
    graph->QueryInterface(IID_IMediaFilter, timing.PutVoid());
    if (timing)
        timing->SetSyncSource(nullptr);
    sourcePin = FindPinByDirection(source, PINDIR_OUTPUT);
    return sourcePin ? S_OK : E_FAIL;
}

HRESULT PlatformGraph::ConnectSource(const AM_MEDIA_TYPE* proposed)
{
    // The grabber offers types downstream only once its input is connected.
    ComPtr<IPin> grabberIn = FindPinByDirection(grabberFilter.Get(), PINDIR_INPUT);
    HRESULT hr = graph->ConnectDirect(sourcePin.Get(), grabberIn.Get(), proposed);
    if (FAILED(hr))
        return hr;
    ComPtr<IPin> grabberOut = FindPinByDirection(grabberFilter.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> connected;
    if (grabberOut->ConnectedTo(connected.Put()) == S_OK)
        return S_OK;
    ComPtr<IPin> rendererIn = FindPinByDirection(renderer.Get(), PINDIR_INPUT);
    return graph->ConnectDirect(grabberOut.Get(), rendererIn.Get(), nullptr);
}

HRESULT PlatformGraph::DisconnectSource()
{
    ComPtr<IPin> grabberIn = FindPinByDirection(grabberFilter.Get(), PINDIR_INPUT);
    HRESULT hr = graph->Disconnect(sourcePin.Get());
    if (SUCCEEDED(hr))
        hr = graph->Disconnect(grabberIn.Get());
    return hr;
}

bool PlatformGraph::WaitForEvent(long code, LONG_PTR* param, DWORD timeoutMs)
{
    const std::vector<Event> seen = EventsUntil(code, timeoutMs);
    if (seen.empty() || seen.back().code != code)
        return false;
    if (param)
        *param = seen.back().first;
    return true;
}

std::vector<PlatformGraph::Event> PlatformGraph::EventsUntil(long code, DWORD timeoutMs)
{
    // The event handle is signalled while events are queued; GetEvent itself is asked
    // without waiting.
    std::vector<Event> seen;
    OAEVENT handle = 0;
    if (FAILED(events->GetEventHandle(&handle)))
        return seen;
    const DWORD started = GetTickCount();
    for (;;) {
        Event event = {};
        while (events->GetEvent(&event.code, &event.first, &event.second, 0) == S_OK) {
            events->FreeEventParams(event.code, event.first, event.second);
            seen.push_back(event);
            if (event.code == code)
                return seen;
        }
        const DWORD spent = GetTickCount() - started;
        if (spent >= timeoutMs)
            return seen;
        WaitForSingleObject(reinterpret_cast<HANDLE>(handle), timeoutMs - spent);
    }
}
