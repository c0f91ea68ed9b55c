#include "CPinEnumerator.h"

#include "CBaseFilter.h"
#include "CBasePin.h"

#include <new>

bool CPinEnumerator::HandedOutList::Contains(const CBasePin* pin) const
{
    for (const Node* node = first; node; node = node->next) {
        if (node->pin == pin)
            return true;
    }
    return false;
}

bool CPinEnumerator::HandedOutList::Append(CBasePin* pin)
{
    Node* node = new (std::nothrow) Node{pin, nullptr};
    if (!node)
        return false;
    if (last)
        last->next = node;
    else
        first = node;
    last = node;
    return true;
}

bool CPinEnumerator::HandedOutList::CopyFrom(const HandedOutList& other)
{
    Clear();
    for (const Node* node = other.first; node; node = node->next) {
        if (!Append(node->pin))
            return false;
    }
    return true;
}

void CPinEnumerator::HandedOutList::Clear()
{
    while (first) {
        Node* next = first->next;
        delete first;
        first = next;
    }
    last = nullptr;
}

CPinEnumerator* CPinEnumerator::Create(CBaseFilter* filter)
{
    CPinEnumerator* enumerator = new (std::nothrow) CPinEnumerator(filter);
    if (enumerator)
        enumerator->Reset();
    return enumerator;
}

CPinEnumerator::CPinEnumerator(CBaseFilter* filter)
    : filter(filter), filterReference(static_cast<IBaseFilter*>(filter))
{
}

HRESULT CPinEnumerator::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumPins) || IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IEnumPins*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG CPinEnumerator::AddRef()
{
    return ULONG(InterlockedIncrement(&referenceCount));
}

ULONG CPinEnumerator::Release()
{
    const LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0)
        delete this;
    return ULONG(count);
}

HRESULT CPinEnumerator::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins)
        return E_POINTER;
    if (fetched)
        *fetched = 0;
    else if (count > 1)
        return E_INVALIDARG;

    if (filter->PinListVersion() != version) {
        // The pin list changed: start over, but keep what was handed out already.
        version = filter->PinListVersion();
        pinCount = filter->PinCount();
        position = 0;
    }

    const ULONG remaining = position < pinCount ? ULONG(pinCount - position) : 0;
    const ULONG wanted = count < remaining ? count : remaining;
    if (wanted == 0)
        return S_FALSE;

    ULONG returned = 0;
    while (position < pinCount && returned < wanted) {
        CBasePin* pin = filter->PinAt(position++);
        if (!pin)
            return VFW_E_ENUM_OUT_OF_SYNC;
        if (handedOut.Contains(pin))
            continue;
        if (!handedOut.Append(pin))
            break;
        pins[returned++] = ComPtr<IPin>(static_cast<IPin*>(pin)).Detach();
    }
    if (fetched)
        *fetched = returned;
    return returned == count ? S_OK : S_FALSE;
}

HRESULT CPinEnumerator::Skip(ULONG count)
{
    if (filter->PinListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    const ULONG remaining = position < pinCount ? ULONG(pinCount - position) : 0;
    if (count > remaining)
        return S_FALSE;
    position += LONG(count);
    return S_OK;
}

HRESULT CPinEnumerator::Reset()
{
    version = filter->PinListVersion();
    pinCount = filter->PinCount();
    position = 0;
    handedOut.Clear();
    return S_OK;
}

HRESULT CPinEnumerator::Clone(IEnumPins** clone)
{
    if (!clone)
        return E_POINTER;
    *clone = nullptr;
    if (filter->PinListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    CPinEnumerator* copy = new (std::nothrow) CPinEnumerator(filter);
    if (!copy)
        return E_OUTOFMEMORY;
    copy->position = position;
    copy->pinCount = pinCount;
    copy->version = version;
    if (!copy->handedOut.CopyFrom(handedOut)) {
        copy->Release();
        return E_OUTOFMEMORY;
    }
    *clone = copy;
    return S_OK;
}
