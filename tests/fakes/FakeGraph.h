#pragma once
// A filter graph as a filter sees it: it hands out its event sink, records the events a
// filter posts, and records and answers Reconnect. Everything else is not needed. Given a
// log, it also fails the calls a test arms there ("graph.Notify",
// "graph.QueryInterface(IMediaEventSink)").
#include "CallLog.h"
#include "FakeUnknown.h"

#include <windows.h>
#include <dshow.h>

class FakeGraph : public FakeUnknown, public IFilterGraph, public IMediaEventSink
{
public:
    long lastCode = 0;
    LONG_PTR lastFirst = 0;
    LONG_PTR lastSecond = 0;
    HRESULT reconnectResult = S_OK;
    int reconnects = 0;
    CallLog* log = nullptr;

    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph))
            return static_cast<IFilterGraph*>(this);
        if (IsEqualIID(iid, IID_IMediaEventSink))
            return FAILED(ArmedFault(log, "graph.QueryInterface(IMediaEventSink)"))
                       ? nullptr
                       : static_cast<IMediaEventSink*>(this);
        return nullptr;
    }

    HRESULT STDMETHODCALLTYPE Notify(long code, LONG_PTR first, LONG_PTR second) override
    {
        LogCall(log, "graph.Notify");
        lastCode = code;
        lastFirst = first;
        lastSecond = second;
        return ArmedFault(log, "graph.Notify");
    }
    HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override
    {
        ++reconnects;
        return reconnectResult;
    }
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
};
