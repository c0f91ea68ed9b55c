#pragma once
// IEnumMediaTypes over one pin's offered types. A simple reference-counted object, not
// counted among the module's objects: its reference on the pin keeps the filter, and so
// the module, alive.
#include "CSimpleUnknown.h"
#include "Locks.h"
#include "Ownership.h"

#include <windows.h>
#include <dshow.h>

class CBasePin;

// Locking
//   lock: the position and the version, for a host that shares one enumerator between
//   threads. Order: lock, then the filter's lock (the pin's ListMediaType takes it).
class CMediaTypeEnumerator final : public CSimpleUnknown<IEnumMediaTypes, &IID_IEnumMediaTypes>
{
public:
    // A new enumerator at position 0, or null when memory runs out.
    static ComPtr<IEnumMediaTypes> Create(CBasePin* pin);

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override;

private:
    CMediaTypeEnumerator(CBasePin* pin, LONG position, LONG version);

    CBasePin* const pin;
    const ComPtr<IPin> pinReference;    // keeps the pin's filter alive
    CriticalSection lock;
    LONG position;
    LONG version;
};
