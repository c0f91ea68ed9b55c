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

ComPtr<IEnumPins> CPinEnumerator::Create(CBaseFilter* filter)
{
    ComPtr<IEnumPins> enumerator(new (std::nothrow) CPinEnumerator(filter));
    if (enumerator)
        enumerator->Reset();
    return enumerator;
}

CPinEnumerator::CPinEnumerator(CBaseFilter* filter)
    : filter(filter), filterReference(static_cast<IBaseFilter*>(filter))
{
}

HRESULT CPinEnumerator::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins)
        return E_POINTER;
    if (fetched)
        *fetched = 0;
    else if (count > 1)
        return E_INVALIDARG;

    ScopedLock hold(lock);
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
        if (!pin) {
            // The list shrank under the snapshot. A caller releases nothing that a failed
            // call returns, so what this call handed out is given back.
            while (returned > 0) {
                ComPtr<IPin>::Adopt(pins[--returned]);
                pins[returned] = nullptr;
            }
            return VFW_E_ENUM_OUT_OF_SYNC;
        }
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
    ScopedLock hold(lock);
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
    ScopedLock hold(lock);
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
    ScopedLock hold(lock);
    if (filter->PinListVersion() != version)
        return VFW_E_ENUM_OUT_OF_SYNC;
    ComPtr<CPinEnumerator> copy(new (std::nothrow) CPinEnumerator(filter));
    if (!copy || !copy->handedOut.CopyFrom(handedOut))
        return E_OUTOFMEMORY;
    copy->position = position;
    copy->pinCount = pinCount;
    copy->version = version;
    *clone = copy.Detach();
    return S_OK;
}
