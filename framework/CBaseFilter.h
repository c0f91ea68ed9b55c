#pragma once
// The filter side of the framework: the stopped / paused / running state machine that
// drives every pin, the reference clock, membership in the host's graph, and pin lookup.
#include "CUnknown.h"
#include "Locks.h"
#include "Ownership.h"

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <memory>

class CBasePin;

// Locking
//   filterLock (not owned; the source filter's stateLock): state changes and whatever
//   else changes the filter (Stop, Pause, Run, SetSyncSource, JoinFilterGraph); the pins'
//   Activate, Deactivate and OnRun run under it. A stopping filter holds it while it waits
//   for its workers, so no method a host may call from a sample callback on a worker
//   waits for it: those read what they need under infoLock or atomically.
//   infoLock: the name, the graph, the event sink, the clock and the start offset, which
//   hosts read from any thread (QueryFilterInfo, GetSyncSource, JoinedGraph) while
//   another replaces them, and a worker reads to post events. Held only while they are
//   copied or swapped, never while calling out.
//   state: written under filterLock, read atomically without it by GetState, so that a
//   host asking for the state never waits for a stop in progress.
//   Order: filterLock, then infoLock.
class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup
{
public:
    CBaseFilter(IUnknown* outer, CriticalSection* filterLock, REFCLSID classId);
    ~CBaseFilter() override = default;

    DECLARE_DELEGATING_UNKNOWN
    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) override;
    // IAMovieSetup: the module's entry points register this filter, so it carries no
    // setup description of its own and both methods answer S_FALSE.
    HRESULT STDMETHODCALLTYPE Register() override;
    HRESULT STDMETHODCALLTYPE Unregister() override;

    // The clock's current time minus the start offset of the last Run.
    virtual HRESULT CurrentStreamTime(REFERENCE_TIME* time);
    virtual LONG PinListVersion();
    virtual int PinCount() = 0;
    // The pin at `index`, or null; holds no reference.
    virtual CBasePin* PinAt(int index) = 0;

    // Notifies the graph's event sink; EC_COMPLETE carries this filter as its second
    // parameter. E_NOTIMPL outside a graph.
    HRESULT PostGraphEvent(long code, LONG_PTR first, LONG_PTR second);

    // Whether the filter is paused or running, read under the filter lock.
    bool IsActive();
    // The graph this filter has joined, with a reference for the caller, or null.
    ComPtr<IFilterGraph> JoinedGraph();

protected:
    std::atomic<FILTER_STATE> state{State_Stopped};

private:
    ComPtr<IReferenceClock> clock;
    REFERENCE_TIME startOffset = 0;
    const CLSID classId;
    CriticalSection* const filterLock;
    CriticalSection infoLock;
    std::unique_ptr<wchar_t[]> name;
    IFilterGraph* graph = nullptr;           // no reference: the graph owns the filter
    IMediaEventSink* eventSink = nullptr;    // no reference: it is the graph's own
};
