#pragma once
// The graph the tool captures through, built from the platform's own filters: the
// device's capture pin -> Sample Grabber -> Null Renderer. It runs with no reference
// clock, so frames flow as fast as the device makes them.
#include "framework/MediaType.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <string>

extern "C" const CLSID CLSID_SampleGrabber;
extern "C" const CLSID CLSID_NullRenderer;

// An event that ended the stream: its code (EC_COMPLETE, EC_DEVICE_LOST, EC_ERRORABORT,
// EC_STREAM_ERROR_STOPPED or EC_USERABORT) and, for an error, the result it carried.
struct GraphEnd
{
    long event = 0;
    HRESULT result = S_OK;
};

class CaptureGraph
{
public:
    // Each step returns its failure and names the step in `failedStep`, for the user.
    HRESULT Build(IBaseFilter* device, const std::wstring& deviceName, std::string* failedStep);
    // With a capability number, the device is given that format through IAMStreamConfig
    // and the connection is made in it; 0 takes what the device offers by itself.
    HRESULT Connect(int capability, std::string* failedStep);
    HRESULT ConnectedFormat(CMediaTypeRecord* type);
    // Runs the graph and waits for its filters to start, so that a device that fails to
    // start says so here, even where the graph starts them on a thread of its own.
    HRESULT Run(ISampleGrabberCB* collector);
    void Stop();

    // Signalled while the graph has events queued.
    HANDLE EventHandle();
    // Takes the queued events; true when one of them ended the stream, with the first
    // that did. A device that comes back (EC_DEVICE_LOST with 1) ends nothing.
    bool StreamEnded(GraphEnd* end);

private:
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IBaseFilter> renderer;
    ComPtr<IPin> capturePin;
};
