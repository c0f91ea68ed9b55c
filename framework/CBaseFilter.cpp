#include "CBaseFilter.h"

#include "CBasePin.h"
#include "CPinEnumerator.h"
#include "Result.h"

#include <cwchar>
#include <new>
#include <utility>

CBaseFilter::CBaseFilter(IUnknown* outer, CriticalSection* filterLock, REFCLSID classId)
    : CUnknown(outer), classId(classId), filterLock(filterLock)
{
}

HRESULT CBaseFilter::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IBaseFilter) || IsEqualIID(iid, IID_IMediaFilter)
        || IsEqualIID(iid, IID_IPersist))
        return HandOutInterface(static_cast<IBaseFilter*>(this), out);
    if (IsEqualIID(iid, IID_IAMovieSetup))
        return HandOutInterface(static_cast<IAMovieSetup*>(this), out);
    return CUnknown::InnerQueryInterface(iid, out);
}

HRESULT CBaseFilter::GetClassID(CLSID* id)
{
    if (!id)
        return E_POINTER;
    *id = classId;
    return S_OK;
}

HRESULT CBaseFilter::Stop()
{
    ScopedLock hold(*filterLock);
    HRESULT firstFailure = S_OK;
    if (state != State_Stopped) {
        // Every pin is told, whatever the others answer.
        for (int index = 0; index < PinCount(); ++index) {
            CBasePin* pin = PinAt(index);
            if (!pin || !pin->IsConnected())
                continue;
            const HRESULT hr = pin->Deactivate();
            if (FAILED(hr) && SUCCEEDED(firstFailure))
                firstFailure = hr;
        }
    }
    state = State_Stopped;
    return firstFailure;
}

HRESULT CBaseFilter::Pause()
{
    ScopedLock hold(*filterLock);
    if (state == State_Stopped) {
        for (int index = 0; index < PinCount(); ++index) {
            CBasePin* pin = PinAt(index);
            if (pin && pin->IsConnected())
                RETURN_IF_FAILED(pin->Activate());
        }
    } else if (state == State_Running) {
        for (int index = 0; index < PinCount(); ++index) {
            CBasePin* pin = PinAt(index);
            if (pin && pin->IsConnected())
                pin->OnPause();
        }
    }
    state = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start)
{
    ScopedLock hold(*filterLock);
    {
        ScopedLock holdInfo(infoLock);
        startOffset = start;
    }
    if (state == State_Stopped)
        RETURN_IF_FAILED(Pause());
    if (state != State_Running) {
        for (int index = 0; index < PinCount(); ++index) {
            CBasePin* pin = PinAt(index);
            if (pin && pin->IsConnected())
                RETURN_IF_FAILED(pin->OnRun(start));
        }
    }
    state = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* current)
{
    if (!current)
        return E_POINTER;
    *current = state;
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* newClock)
{
    ScopedLock hold(*filterLock);
    // The new reference is taken before the old one goes, so setting the same clock
    // again cannot destroy it; the old one is let go after infoLock.
    ComPtr<IReferenceClock> replaced(newClock);
    ScopedLock holdInfo(infoLock);
    std::swap(clock, replaced);
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** current)
{
    if (!current)
        return E_POINTER;
    ScopedLock hold(infoLock);
    *current = ComPtr<IReferenceClock>(clock).Detach();
    return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    *pins = CPinEnumerator::Create(this).Detach();
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBaseFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    if (!id)
        return E_POINTER;
    // Pin ids are the 1-based positions the pins give out from QueryId.
    const long position = std::wcstol(id, nullptr, 10);
    CBasePin* found = position >= 1 && position <= PinCount() ? PinAt(int(position - 1)) : nullptr;
    if (!found)
        return VFW_E_NOT_FOUND;
    *pin = ComPtr<IPin>(found).Detach();
    return S_OK;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    ScopedLock hold(infoLock);
    info->achName[0] = L'\0';
    if (name) {
        const size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
        std::wcsncpy(info->achName, name.get(), capacity - 1);
        info->achName[capacity - 1] = L'\0';
    }
    info->pGraph = ComPtr<IFilterGraph>(graph).Detach();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR newName)
{
    ScopedLock hold(*filterLock);
    IMediaEventSink* newEventSink = nullptr;
    if (newGraph) {
        ComPtr<IMediaEventSink> sink;
        if (SUCCEEDED(newGraph->QueryInterface(IID_IMediaEventSink, sink.PutVoid())))
            newEventSink = sink.Get();    // the graph keeps it alive as long as we are in it
    }
    std::unique_ptr<wchar_t[]> newNameCopy;
    if (newName) {
        const size_t length = std::wcslen(newName) + 1;
        newNameCopy.reset(new (std::nothrow) wchar_t[length]);
        if (newNameCopy)
            std::wmemcpy(newNameCopy.get(), newName, length);
    }
    // Swapped whole under infoLock: a host asking for the filter's information meanwhile
    // sees the old name and graph or the new ones, never a name being freed. The old name
    // goes when newNameCopy does, after the lock.
    ScopedLock holdInfo(infoLock);
    graph = newGraph;
    eventSink = newEventSink;
    name.swap(newNameCopy);
    return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR* vendorInfo)
{
    if (vendorInfo)
        *vendorInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CBaseFilter::Register()
{
    return S_FALSE;
}

HRESULT CBaseFilter::Unregister()
{
    return S_FALSE;
}

HRESULT CBaseFilter::CurrentStreamTime(REFERENCE_TIME* time)
{
    if (!time)
        return E_POINTER;
    ComPtr<IReferenceClock> current;
    REFERENCE_TIME offset = 0;
    {
        ScopedLock hold(infoLock);
        current = clock;
        offset = startOffset;
    }
    if (!current)
        return VFW_E_NO_CLOCK;
    RETURN_IF_FAILED(current->GetTime(time));
    *time -= offset;
    return S_OK;
}

LONG CBaseFilter::PinListVersion()
{
    return 1;
}

HRESULT CBaseFilter::PostGraphEvent(long code, LONG_PTR first, LONG_PTR second)
{
    IMediaEventSink* sink = nullptr;
    {
        ScopedLock hold(infoLock);
        sink = eventSink;
    }
    // Called without a reference, as the sink is held: a graph stops its filters before it
    // lets go of them, so a worker posting an event always finds its graph. A reference
    // taken here could make the worker release the graph's last one, and the graph's
    // destruction would then wait, on the worker's own thread, for the worker to stop.
    if (!sink)
        return E_NOTIMPL;
    if (code == EC_COMPLETE)
        second = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return sink->Notify(code, first, second);
}

bool CBaseFilter::IsActive()
{
    ScopedLock hold(*filterLock);
    return state != State_Stopped;
}

ComPtr<IFilterGraph> CBaseFilter::JoinedGraph()
{
    ScopedLock hold(infoLock);
    return ComPtr<IFilterGraph>(graph);
}
