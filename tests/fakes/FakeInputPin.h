#pragma once
// A downstream input pin whose answers a test sets: the types it offers, whether it
// takes a connection, the allocator it proposes, and what it does with samples.
// It logs every call in order, fails the calls a test arms in the log (under the names
// it logs them by; Receive as "peer.Receive"), and counts the references it is given.
#include "CallLog.h"
#include "FakeUnknown.h"
#include "Gate.h"
#include "framework/MediaType.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>

#include <vector>

class FakeInputPin : public FakeUnknown, public IPin, public IMemInputPin
{
public:
    explicit FakeInputPin(CallLog* log)
        : log(log), sampleArrived(CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
    }
    ~FakeInputPin() override;

    // What the pin answers.
    std::vector<CMediaTypeRecord> offeredTypes;
    PIN_DIRECTION direction = PINDIR_INPUT;
    bool takesSamples = true;    // answers IMemInputPin
    HRESULT receiveConnectionResult = S_OK;
    const GUID* refusedSubtype = nullptr;          // ReceiveConnection refuses this subtype
    IMemAllocator* proposedAllocator = nullptr;    // null: GetAllocator fails
    HRESULT notifyResult = S_OK;                   // for the proposed allocator only
    ALLOCATOR_PROPERTIES requirements = {};
    HRESULT receiveResult = S_OK;
    bool holdSamples = false;       // keep every delivered sample
    Gate* receiveGate = nullptr;    // when armed, holds the next Receive until opened

    // What the pin saw.
    ComPtr<IPin> connector;
    CMediaTypeRecord receivedType;
    std::vector<IMemAllocator*> notifiedAllocators;    // identity only
    volatile LONG received = 0;
    volatile LONG endOfStreams = 0;

    // Waits until `count` samples have arrived in all, at most `timeoutMs`.
    bool WaitForSamples(LONG count, DWORD timeoutMs = 20000);
    // Waits until the end of the stream has arrived, at most `timeoutMs`.
    bool WaitForEndOfStream(DWORD timeoutMs = 20000);
    void ReleaseHeldSamples();

    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* from, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pinDirection) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override
    {
        return S_OK;
    }

    // IMemInputPin
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample**, LONG, LONG*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }

private:
    template <class Done>
    bool WaitUntil(Done done, DWORD timeoutMs);

    CallLog* log;
    UniqueHandle sampleArrived;
    CriticalSection heldLock;
    std::vector<ComPtr<IMediaSample>> held;
};

// A memory allocator that lets a test change what it grants and make calls fail (also
// through faults armed in the log, GetBuffer as "<name>.GetBuffer"); the work is done by
// the platform's own allocator inside.
class FakeAllocator : public FakeUnknown, public IMemAllocator
{
public:
    FakeAllocator(CallLog* log, const char* name);

    HRESULT setPropertiesResult = S_OK;
    LONG grantBytesShort = 0;      // grant this many bytes per buffer fewer
    LONG grantBuffersShort = 0;    // grant this many buffers fewer
    LONG hiddenBytesShort = 0;     // report the request granted, but make buffers
                                   // this many bytes smaller
    HRESULT commitResult = S_OK;
    HRESULT decommitResult = S_OK;
    ALLOCATOR_PROPERTIES lastRequest = {};

    FAKE_UNKNOWN
    void* Lookup(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                            ALLOCATOR_PROPERTIES* actual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* properties) override;
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                        REFERENCE_TIME* stop, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override;

private:
    CallLog* log;
    std::string name;
    ComPtr<IMemAllocator> platform;
};
