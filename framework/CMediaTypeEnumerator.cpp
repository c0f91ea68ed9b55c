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

ComPtr<IEnumMediaTypes> CMediaTypeEnumerator::Create(CBasePin* pin)
{
    return ComPtr<IEnumMediaTypes>(new (std::nothrow)
                                       CMediaTypeEnumerator(pin, 0, pin->TypeListVersion()));
}

CMediaTypeEnumerator::CMediaTypeEnumerator(CBasePin* pin, LONG position, LONG version)
    : pin(pin), pinReference(static_cast<IPin*>(pin)), position(position), version(version)
{
}

HRESULT CMediaTypeEnumerator::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types)
        return E_POINTER;
    ScopedLock hold(lock);
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
    ScopedLock hold(lock);
    if (pin->TypeListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    position = Advanced(position, count);
    CMediaTypeRecord type;
    return pin->ListMediaType(position - 1, &type) == S_OK ? S_OK : S_FALSE;
}

HRESULT CMediaTypeEnumerator::Reset()
{
    ScopedLock hold(lock);
    position = 0;
    version = pin->TypeListVersion();
    return S_OK;
}

HRESULT CMediaTypeEnumerator::Clone(IEnumMediaTypes** clone)
{
    if (!clone)
        return E_POINTER;
    *clone = nullptr;
    ScopedLock hold(lock);
    if (pin->TypeListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    *clone =
        ComPtr<IEnumMediaTypes>(new (std::nothrow) CMediaTypeEnumerator(pin, position, version))
            .Detach();
    return *clone ? S_OK : E_OUTOFMEMORY;
}
