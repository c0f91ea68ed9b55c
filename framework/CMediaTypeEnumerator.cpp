#include "CMediaTypeEnumerator.h"

#include "CBasePin.h"

#include <climits>
#include <new>
#include <utility>

namespace {

// Positions move on past the end, but never wrap.
LONG Advanced(LONG position, ULONG count)
{
    return count > ULONG(LONG_MAX - position) ? LONG_MAX : LONG(position + LONG(count));
}

}    // namespace

CMediaTypeEnumerator* CMediaTypeEnumerator::Create(CBasePin* pin)
{
    return new (std::nothrow) CMediaTypeEnumerator(pin, 0, pin->TypeListVersion());
}

CMediaTypeEnumerator::CMediaTypeEnumerator(CBasePin* pin, LONG position, LONG version)
    : pin(pin), pinReference(static_cast<IPin*>(pin)), position(position), version(version)
{
}

HRESULT CMediaTypeEnumerator::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumMediaTypes) || IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IEnumMediaTypes*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaTypeEnumerator::AddRef()
{
    return ULONG(InterlockedIncrement(&referenceCount));
}

ULONG CMediaTypeEnumerator::Release()
{
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0)
        delete this;
    return ULONG(count);
}

HRESULT CMediaTypeEnumerator::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types)
        return E_POINTER;
    if (pin->TypeListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    if (fetched)
        *fetched = 0;
    else if (count > 1)
        return E_INVALIDARG;

    ULONG returned = 0;
    while (returned < count) {
        CMediaTypeRecord type;
        // The position moves on even when there is no type there.
        const LONG taken = position;
        position = Advanced(position, 1);
        if (pin->ListMediaType(taken, &type) != S_OK)
            break;
        auto* slot = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (!slot)
            break;
        SetDefaultMediaType(slot);
        std::swap(*slot, static_cast<AM_MEDIA_TYPE&>(type));    // block and pUnk pass over
        types[returned++] = slot;
    }
    if (fetched)
        *fetched = returned;
    return returned == count ? S_OK : S_FALSE;
}

HRESULT CMediaTypeEnumerator::Skip(ULONG count)
{
    if (count == 0)
        return S_OK;
    if (pin->TypeListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    position = Advanced(position, count);
    CMediaTypeRecord type;
    return pin->ListMediaType(position - 1, &type) == S_OK ? S_OK : S_FALSE;
}

HRESULT CMediaTypeEnumerator::Reset()
{
    position = 0;
    version = pin->TypeListVersion();
    return S_OK;
}

HRESULT CMediaTypeEnumerator::Clone(IEnumMediaTypes** clone)
{
    if (!clone)
        return E_POINTER;
    *clone = nullptr;
    if (pin->TypeListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    *clone = new (std::nothrow) CMediaTypeEnumerator(pin, position, version);
    return *clone ? S_OK : E_OUTOFMEMORY;
}
