#pragma once
// IEnumPins over one filter's pins. A simple reference-counted object, not counted among
// the module's objects: its reference on the filter keeps the module alive.
#include "CSimpleUnknown.h"
#include "Locks.h"
#include "Ownership.h"

#include <windows.h>
#include <dshow.h>

class CBaseFilter;
class CBasePin;

// Locking
//   lock: the position, the snapshots and the handed-out list, for a host that shares
//   one enumerator between threads (two Next calls at once would otherwise tear the list).
class CPinEnumerator final : public CSimpleUnknown<IEnumPins, &IID_IEnumPins>
{
public:
    // A new enumerator at the first pin, or null when memory runs out.
    static ComPtr<IEnumPins> Create(CBaseFilter* filter);

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

    CBaseFilter* const filter;
    const ComPtr<IBaseFilter> filterReference;
    CriticalSection lock;
    LONG position = 0;
    LONG pinCount = 0;
    LONG version = 0;
    HandedOutList handedOut;
};
