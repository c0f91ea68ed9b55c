#pragma once
// IEnumPins over one filter's pins. A plain reference-counted object, not counted among
// the module's objects: its reference on the filter keeps the module alive.
#include "Ownership.h"

#include <windows.h>
#include <dshow.h>

class CBaseFilter;
class CBasePin;

// Locking: none of its own; the filter's PinCount and PinAt take the filter's lock.
class CPinEnumerator final : public IEnumPins
{
public:
    // A new enumerator at the first pin with a reference of its own, or null.
    static CPinEnumerator* Create(CBaseFilter* filter);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) override;

private:
    // The pins already returned since creation or the last Reset, so that a pin list
    // that changes under the enumerator never yields the same pin twice.
    class HandedOutList
    {
    public:
        HandedOutList() = default;
        HandedOutList(const HandedOutList&) = delete;
        HandedOutList& operator=(const HandedOutList&) = delete;
        ~HandedOutList() { Clear(); }

        bool Contains(const CBasePin* pin) const;
        bool Append(CBasePin* pin);
        bool CopyFrom(const HandedOutList& other);
        void Clear();

    private:
        struct Node
        {
            CBasePin* pin;
            Node* next;
        };
        Node* first = nullptr;
        Node* last = nullptr;
    };

    explicit CPinEnumerator(CBaseFilter* filter);
    ~CPinEnumerator() = default;

    CBaseFilter* const filter;
    const ComPtr<IBaseFilter> filterReference;
    LONG position = 0;
    LONG pinCount = 0;
    LONG version = 0;
    HandedOutList handedOut;
    volatile LONG referenceCount = 1;
};
