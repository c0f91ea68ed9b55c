#pragma once
// IEnumMediaTypes over one pin's offered types. A plain reference-counted object, not
// counted among the module's objects: its reference on the pin keeps the filter, and so
// the module, alive.
#include "Ownership.h"

#include <windows.h>
#include <dshow.h>

class CBasePin;

// Locking: none of its own; the pin's ListMediaType takes the filter's lock.
class CMediaTypeEnumerator final : public IEnumMediaTypes
{
public:
    // A new enumerator at position 0 with a reference of its own, or null.
    static CMediaTypeEnumerator* Create(CBasePin* pin);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override;

private:
    CMediaTypeEnumerator(CBasePin* pin, LONG position, LONG version);
    ~CMediaTypeEnumerator() = default;

    CBasePin* const pin;
    const ComPtr<IPin> pinReference;    // keeps the pin's filter alive
    LONG position;
    LONG version;
    volatile LONG referenceCount = 1;
};
