#include "CBasePin.h"

#include "CBaseFilter.h"
#include "CMediaTypeEnumerator.h"
#include "Result.h"

#include <cwchar>
#include <new>
#include <utility>

namespace {

// Maps a refusal of a type to the code a connecting host expects: success codes other
// than S_OK, E_FAIL and E_INVALIDARG mean "not this type"; other failures pass.
HRESULT AsTypeRefusal(HRESULT accepted)
{
    if (SUCCEEDED(accepted) || accepted == E_FAIL || accepted == E_INVALIDARG)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return accepted;
}

// Failures that only say "not this type"; anything else is worth reporting.
bool IsPlainRefusal(HRESULT hr)
{
    return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED;
}

}    // namespace

CBasePin::CBasePin(CBaseFilter* filter, CriticalSection* pinLock, const wchar_t* pinName,
                   PIN_DIRECTION direction)
    : CUnknown(nullptr), filter(filter), pinLock(pinLock), direction(direction)
{
    if (pinName) {
        const size_t length = std::wcslen(pinName) + 1;
        name.reset(new (std::nothrow) wchar_t[length]);
        if (name)
            std::wmemcpy(name.get(), pinName, length);
    }
}

HRESULT CBasePin::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IPin))
        return HandOutInterface(static_cast<IPin*>(this), out);
    if (IsEqualIID(iid, IID_IQualityControl))
        return HandOutInterface(static_cast<IQualityControl*>(this), out);
    return CUnknown::InnerQueryInterface(iid, out);
}

ULONG CBasePin::InnerAddRef()
{
    return static_cast<IBaseFilter*>(filter)->AddRef();
}

ULONG CBasePin::InnerRelease()
{
    return static_cast<IBaseFilter*>(filter)->Release();
}

HRESULT CBasePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* proposed)
{
    if (!receiver)
        return E_POINTER;
    ScopedLock hold(*pinLock);
    RETURN_IF_FAILED(CanConnect());
    const HRESULT hr = AgreeType(receiver, proposed);
    if (FAILED(hr)) {
        TearDownConnection();
        return hr;
    }
    return S_OK;
}

HRESULT CBasePin::AgreeType(IPin* receiver, const AM_MEDIA_TYPE* proposed)
{
    if (proposed && !IsPartialMediaType(*proposed))
        return TryConnectionWith(receiver, proposed);

    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    // The receiver's types first, then this pin's own.
    IPin* const listers[] = {receiver, static_cast<IPin*>(this)};
    for (IPin* lister : listers) {
        ComPtr<IEnumMediaTypes> types;
        if (FAILED(lister->EnumMediaTypes(types.Put())) || !types)
            continue;
        const HRESULT hr = TryTypesFrom(receiver, proposed, types.Get());
        if (SUCCEEDED(hr))
            return S_OK;
        if (!IsPlainRefusal(hr))
            result = hr;
    }
    return result;
}

HRESULT CBasePin::TryTypesFrom(IPin* receiver, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types)
{
    RETURN_IF_FAILED(types->Reset());
    HRESULT remembered = S_OK;
    for (;;) {
        AM_MEDIA_TYPE* fetched = nullptr;
        ULONG count = 0;
        if (types->Next(1, &fetched, &count) != S_OK || count != 1)
            break;
        MediaTypePtr candidate(fetched);
        if (!candidate || (pattern && !MediaTypeMatchesPattern(*candidate, *pattern)))
            continue;
        const HRESULT hr = TryConnectionWith(receiver, candidate.get());
        if (hr == S_OK)
            return S_OK;
        if (FAILED(hr) && !IsPlainRefusal(hr) && SUCCEEDED(remembered))
            remembered = hr;
    }
    return FAILED(remembered) ? remembered : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::CanConnect()
{
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    return filter->IsActive() ? VFW_E_NOT_STOPPED : S_OK;
}

HRESULT CBasePin::CheckPeerAndType(IPin* other, const AM_MEDIA_TYPE* type)
{
    HRESULT hr = CheckPeer(other);
    if (SUCCEEDED(hr) && (hr = AcceptsMediaType(type)) != S_OK)
        hr = AsTypeRefusal(hr);
    if (FAILED(hr))
        TearDownConnection();
    return hr;
}

HRESULT CBasePin::TryConnectionWith(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    RETURN_IF_FAILED(CheckPeerAndType(receiver, type));
    SetPeer(receiver);
    HRESULT hr = SetConnectionType(type);
    if (SUCCEEDED(hr))
        hr = receiver->ReceiveConnection(static_cast<IPin*>(this), type);
    if (SUCCEEDED(hr)) {
        hr = FinishConnection(receiver);
        if (SUCCEEDED(hr))
            return hr;
        receiver->Disconnect();
    }
    TearDownConnection();
    ClearPeer();
    return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (!connector || !type)
        return E_POINTER;
    ScopedLock hold(*pinLock);
    RETURN_IF_FAILED(CanConnect());
    RETURN_IF_FAILED(CheckPeerAndType(connector, type));
    SetPeer(connector);
    HRESULT hr = SetConnectionType(type);
    if (SUCCEEDED(hr))
        hr = FinishConnection(connector);
    if (SUCCEEDED(hr))
        return S_OK;
    ClearPeer();
    TearDownConnection();
    return hr;
}

HRESULT CBasePin::Disconnect()
{
    ScopedLock hold(*pinLock);
    if (filter->IsActive())
        return VFW_E_NOT_STOPPED;
    if (!IsConnected())
        return S_FALSE;
    RETURN_IF_FAILED(TearDownConnection());
    ClearPeer();
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    ScopedLock hold(peerLock);
    *pin = ComPtr<IPin>(peer).Detach();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    if (!IsConnected()) {
        SetDefaultMediaType(type);
        return VFW_E_NOT_CONNECTED;
    }
    ScopedLock hold(typeLock);
    // A copy without its block would describe a different type: say so.
    return FAILED(DeepCopyMediaType(type, &connectionType)) ? E_OUTOFMEMORY : S_OK;
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = filter ? ComPtr<IBaseFilter>(filter).Detach() : nullptr;
    info->achName[0] = L'\0';
    if (name) {
        const size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
        std::wcsncpy(info->achName, name.get(), capacity - 1);
        info->achName[capacity - 1] = L'\0';
    }
    info->dir = direction;
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* pinDirection)
{
    if (!pinDirection)
        return E_POINTER;
    *pinDirection = direction;
    return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    const HRESULT hr = AcceptsMediaType(type);
    return FAILED(hr) ? S_FALSE : hr;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    *types = CMediaTypeEnumerator::Create(this).Detach();
    return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBasePin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

HRESULT CBasePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

HRESULT CBasePin::Notify(IBaseFilter*, Quality)
{
    return E_NOTIMPL;
}

HRESULT CBasePin::SetSink(IQualityControl*)
{
    return S_OK;
}

bool CBasePin::IsConnected()
{
    ScopedLock hold(peerLock);
    return peer.Get() != nullptr;
}

void CBasePin::SetPeer(IPin* newPeer)
{
    ComPtr<IPin> replaced(newPeer);
    {
        ScopedLock hold(peerLock);
        std::swap(peer, replaced);
    }
}

LONG CBasePin::TypeListVersion()
{
    return 1;
}

HRESULT CBasePin::OnRun(REFERENCE_TIME)
{
    return S_OK;
}

void CBasePin::OnPause() {}

HRESULT CBasePin::SetConnectionType(const AM_MEDIA_TYPE* type)
{
    ScopedLock hold(typeLock);
    return connectionType.CopyFrom(*type);
}
