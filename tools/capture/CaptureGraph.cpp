#include "CaptureGraph.h"

#include "framework/Result.h"

#include <ks.h>
#include <ksproxy.h>
#include <uuids.h>

namespace {
ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())))
        return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.Put(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection = PINDIR_INPUT;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction)
            return pin;
    }
    return {};
}

bool IsCapturePin(IPin* pin)
{
    ComPtr<IKsPropertySet> properties;
    if (FAILED(pin->QueryInterface(IID_IKsPropertySet, properties.PutVoid())))
        return false;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    return SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                     &category, sizeof(category), &returned))
           && IsEqualGUID(category, PIN_CATEGORY_CAPTURE);
}

// The output pin that says it captures; a device that names no categories gets its first.
ComPtr<IPin> FindCapturePin(IBaseFilter* device)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(device->EnumPins(pins.Put())))
        return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.Put(), nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT
            && IsCapturePin(pin.Get()))
            return pin;
    }
    return FirstPin(device, PINDIR_OUTPUT);
}

// How long Run waits for the filters to start.
constexpr LONG startWaitMs = 10000;

HRESULT Fail(HRESULT hr, const char* step, std::string* failedStep)
{
    if (FAILED(hr))
        *failedStep = step;
    return hr;
}
}    // namespace

HRESULT CaptureGraph::Build(IBaseFilter* device, const std::wstring& deviceName,
                            std::string* failedStep)
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, graph.PutVoid());
    if (FAILED(hr))
        return Fail(hr, "creating the filter graph", failedStep);
    if (FAILED(hr = graph->QueryInterface(IID_IMediaControl, control.PutVoid()))
        || FAILED(hr = graph->QueryInterface(IID_IMediaEvent, events.PutVoid())))
        return Fail(hr, "asking the filter graph for its control", failedStep);
    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          grabberFilter.PutVoid());
    if (SUCCEEDED(hr))
        hr = grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.PutVoid());
    if (FAILED(hr))
        return Fail(hr, "creating the Sample Grabber", failedStep);
    hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          renderer.PutVoid());
    if (FAILED(hr))
        return Fail(hr, "creating the Null Renderer", failedStep);

    if (FAILED(hr = graph->AddFilter(device, deviceName.c_str())))
        return Fail(hr, "adding the device to the graph", failedStep);
    if (FAILED(hr = graph->AddFilter(grabberFilter.Get(), L"Sample Grabber"))
        || FAILED(hr = graph->AddFilter(renderer.Get(), L"Null Renderer")))
        return Fail(hr, "adding the Sample Grabber and the Null Renderer", failedStep);

    // Without a clock nothing waits for presentation times: a frame is taken as it comes.
    ComPtr<IMediaFilter> timing;
    if (FAILED(hr = graph->QueryInterface(IID_IMediaFilter, timing.PutVoid()))
        || FAILED(hr = timing->SetSyncSource(nullptr)))
        return Fail(hr, "running the graph without a clock", failedStep);

    capturePin = FindCapturePin(device);
    return capturePin ? S_OK : Fail(E_FAIL, "finding the device's output pin", failedStep);
}

HRESULT CaptureGraph::Connect(int capability, std::string* failedStep)
{
    MediaTypePtr chosen;
    if (capability > 0) {
        ComPtr<IAMStreamConfig> config;
        HRESULT hr = capturePin->QueryInterface(IID_IAMStreamConfig, config.PutVoid());
        if (FAILED(hr))
            return Fail(hr, "asking the capture pin for IAMStreamConfig", failedStep);
        AM_MEDIA_TYPE* offered = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        hr = config->GetStreamCaps(capability, &offered, reinterpret_cast<BYTE*>(&caps));
        chosen.reset(offered);
        if (FAILED(hr) || !chosen)
            return Fail(FAILED(hr) ? hr : E_POINTER, "reading the capability", failedStep);
        if (FAILED(hr = config->SetFormat(chosen.get())))
            return Fail(hr, "setting the format", failedStep);
    }

    // The chosen type is proposed outright: a device may list only the format it prefers.
    ComPtr<IPin> grabberIn = FirstPin(grabberFilter.Get(), PINDIR_INPUT);
    ComPtr<IPin> grabberOut = FirstPin(grabberFilter.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> rendererIn = FirstPin(renderer.Get(), PINDIR_INPUT);
    if (!grabberIn || !grabberOut || !rendererIn)
        return Fail(E_FAIL, "finding the Sample Grabber's and Null Renderer's pins", failedStep);
    HRESULT hr = graph->ConnectDirect(capturePin.Get(), grabberIn.Get(), chosen.get());
    if (FAILED(hr))
        return Fail(hr, "connecting the device to the Sample Grabber", failedStep);
    // The grabber passes frames on unchanged. Left to choose, it would take a type the
    // device lists for its output and reconnect the device in it, losing the format.
    CMediaTypeRecord connected;
    if (FAILED(hr = capturePin->ConnectionMediaType(&connected)))
        return Fail(hr, "reading the device's connection format", failedStep);
    hr = graph->ConnectDirect(grabberOut.Get(), rendererIn.Get(), &connected);
    return Fail(hr, "connecting the Sample Grabber to the Null Renderer", failedStep);
}

HRESULT CaptureGraph::ConnectedFormat(CMediaTypeRecord* type)
{
    return capturePin->ConnectionMediaType(type);
}

HRESULT CaptureGraph::Run(ISampleGrabberCB* collector)
{
    grabber->SetBufferSamples(FALSE);
    grabber->SetOneShot(FALSE);
    RETURN_IF_FAILED(grabber->SetCallback(collector, 0));
    RETURN_IF_FAILED(control->Run());
    // A live source cannot cue, and a slow start is no failure: only a failure is.
    OAFilterState state = State_Stopped;
    const HRESULT started = control->GetState(startWaitMs, &state);
    return FAILED(started) ? started : S_OK;
}

void CaptureGraph::Stop()
{
    control->Stop();
    grabber->SetCallback(nullptr, 0);
}

HANDLE CaptureGraph::EventHandle()
{
    OAEVENT handle = 0;
    events->GetEventHandle(&handle);
    return reinterpret_cast<HANDLE>(handle);
}

bool CaptureGraph::StreamEnded(GraphEnd* end)
{
    bool ended = false;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
        // An abort is followed by the end of stream it causes: the first names the cause.
        const bool ends = code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED
                          || code == EC_COMPLETE || code == EC_USERABORT
                          || (code == EC_DEVICE_LOST && second == 0);
        if (ends && !ended) {
            ended = true;
            end->event = code;
            end->result =
                code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED ? HRESULT(first) : S_OK;
        }
        events->FreeEventParams(code, first, second);
    }
    return ended;
}
