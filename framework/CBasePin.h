#pragma once
// One pin of a filter: the connection protocol with a peer pin, the pin's answers to
// queries, and its part in the filter's state changes. Output pins (CBaseOutputPin) add
// the allocator decision and delivery. A pin's references count on its filter.
#include "CUnknown.h"
#include "Locks.h"
#include "MediaType.h"
#include "Ownership.h"

#include <windows.h>
#include <dshow.h>

#include <memory>

class CBaseFilter;

// Locking
//   pinLock (not owned; the filter's stateLock): connection changes and disconnection.
//   Connect holds it while it calls into the peer, and a stopping filter holds it while it
//   waits for its worker, so no query method takes it: a host may ask from a sample
//   callback on that very worker.
//   typeLock: the connection type, and whatever a derived pin describes its formats by;
//   held only while they are read, copied or replaced, never while calling out.
//   peerLock: the peer pointer, which a host may ask for (ConnectedTo) from any thread
//   while another disconnects; held only while the pointer is copied or swapped.
//   The peer and the output pin's allocator and peer input change only while the filter
//   is stopped, so the worker reads them without a lock while the filter is active.
//   The other query methods read only what never changes after construction.
//   Order: pinLock, then typeLock or peerLock.
class CBasePin : public CUnknown, public IPin, public IQualityControl
{
public:
    CBasePin(CBaseFilter* filter, CriticalSection* pinLock, const wchar_t* pinName,
             PIN_DIRECTION direction);
    ~CBasePin() override = default;

    DECLARE_DELEGATING_UNKNOWN
    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
    // Forwarded to the filter: every reference on a pin keeps the filter alive.
    ULONG STDMETHODCALLTYPE InnerAddRef() override;
    ULONG STDMETHODCALLTYPE InnerRelease() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* proposed) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector,
                                                const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pinDirection) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    // An output pin makes its own segments: one announced to it is taken and not kept.
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

    // IQualityControl: quality messages from downstream are refused, so a sink to pass
    // them on to is taken and not kept.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality quality) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

    virtual LONG TypeListVersion();
    virtual HRESULT Activate() = 0;
    virtual HRESULT Deactivate() = 0;
    virtual HRESULT OnRun(REFERENCE_TIME start);
    // The filter goes from running to paused. It must not wait for anything: a worker
    // may be blocked in a downstream Receive that a paused renderer holds.
    virtual void OnPause();
    // Only S_OK means the type is accepted.
    virtual HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetConnectionType(const AM_MEDIA_TYPE* type);
    virtual HRESULT CheckPeer(IPin* peer) = 0;
    virtual HRESULT TearDownConnection() = 0;
    virtual HRESULT FinishConnection(IPin* peer) = 0;
    // S_OK for a type at `position`, anything else when there is none.
    virtual HRESULT ListMediaType(int position, CMediaTypeRecord* type) = 0;

    bool IsConnected();

protected:
    // VFW_E_ALREADY_CONNECTED or VFW_E_NOT_STOPPED when no connection may be made now.
    HRESULT CanConnect();
    // The other pin's direction and transport, then the type; on a refusal nothing
    // stays held.
    HRESULT CheckPeerAndType(IPin* other, const AM_MEDIA_TYPE* type);
    // Agrees a type with `receiver`: the proposed one alone when it is complete, else
    // the receiver's types, then this pin's own, each filtered by the proposal.
    HRESULT AgreeType(IPin* receiver, const AM_MEDIA_TYPE* proposed);
    HRESULT TryTypesFrom(IPin* receiver, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types);
    HRESULT TryConnectionWith(IPin* receiver, const AM_MEDIA_TYPE* type);
    // Replace the peer under peerLock; the old one is released after the lock.
    void SetPeer(IPin* newPeer);
    void ClearPeer() { SetPeer(nullptr); }

    CBaseFilter* const filter;    // no reference: the filter owns its pins
    CriticalSection* const pinLock;
    ComPtr<IPin> peer;    // changed only through SetPeer
    CriticalSection typeLock;
    CMediaTypeRecord connectionType;

private:
    CriticalSection peerLock;
    std::unique_ptr<wchar_t[]> name;
    const PIN_DIRECTION direction;
};
