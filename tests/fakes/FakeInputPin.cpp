#include "FakeInputPin.h"

#include "framework/Result.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>

namespace {

// The fake pin's type list, one type at a time; it holds no reference on the pin.
class FakeTypeEnumerator final : public IEnumMediaTypes
{
public:
    FakeTypeEnumerator(const std::vector<CMediaTypeRecord>& types, CallLog* log)
        : types(types), log(log)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumMediaTypes)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&count)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&count);
        if (left == 0)
            delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, AM_MEDIA_TYPE** out, ULONG* fetched) override
    {
        LogCall(log, "peer.EnumMediaTypes.Next");
        RETURN_IF_FAILED(ArmedFault(log, "peer.EnumMediaTypes.Next"));
        ULONG given = 0;
        while (given < wanted && position < types.size())
            out[given++] = DuplicateMediaType(&types[position++]);
        if (fetched)
            *fetched = given;
        return given == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG skipped) override
    {
        position += skipped;
        return position <= types.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        LogCall(log, "peer.EnumMediaTypes.Reset");
        RETURN_IF_FAILED(ArmedFault(log, "peer.EnumMediaTypes.Reset"));
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes**) override { return E_NOTIMPL; }

private:
    const std::vector<CMediaTypeRecord>& types;
    CallLog* log;
    size_t position = 0;
    volatile LONG count = 1;
};

}    // namespace

FakeInputPin::~FakeInputPin()
{
    ReleaseHeldSamples();
}

void* FakeInputPin::Lookup(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin))
        return static_cast<IPin*>(this);
    if (IsEqualIID(iid, IID_IMemInputPin)) {
        LogCall(log, "peer.QueryInterface(IMemInputPin)");
        const bool refused =
            !takesSamples || FAILED(ArmedFault(log, "peer.QueryInterface(IMemInputPin)"));
        return refused ? nullptr : static_cast<IMemInputPin*>(this);
    }
    return nullptr;
}

HRESULT FakeInputPin::ReceiveConnection(IPin* from, const AM_MEDIA_TYPE* type)
{
    LogCall(log, "peer.ReceiveConnection");
    RETURN_IF_FAILED(ArmedFault(log, "peer.ReceiveConnection"));
    if (FAILED(receiveConnectionResult))
        return receiveConnectionResult;
    if (refusedSubtype && IsEqualGUID(type->subtype, *refusedSubtype))
        return VFW_E_TYPE_NOT_ACCEPTED;
    connector = ComPtr<IPin>(from);
    receivedType = *type;
    return S_OK;
}

HRESULT FakeInputPin::Disconnect()
{
    LogCall(log, "peer.Disconnect");
    RETURN_IF_FAILED(ArmedFault(log, "peer.Disconnect"));
    connector.Reset();
    return S_OK;
}

HRESULT FakeInputPin::ConnectedTo(IPin** pin)
{
    *pin = ComPtr<IPin>(connector).Detach();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT FakeInputPin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    return DeepCopyMediaType(type, &receivedType);
}

HRESULT FakeInputPin::QueryPinInfo(PIN_INFO* info)
{
    info->pFilter = nullptr;
    std::wcsncpy(info->achName, L"Fake Input", std::size(info->achName));
    info->dir = direction;
    return S_OK;
}

HRESULT FakeInputPin::QueryDirection(PIN_DIRECTION* pinDirection)
{
    LogCall(log, "peer.QueryDirection");
    RETURN_IF_FAILED(ArmedFault(log, "peer.QueryDirection"));
    *pinDirection = direction;
    return S_OK;
}

HRESULT FakeInputPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    LogCall(log, "peer.EnumMediaTypes");
    *types = nullptr;
    RETURN_IF_FAILED(ArmedFault(log, "peer.EnumMediaTypes"));
    *types = new (std::nothrow) FakeTypeEnumerator(offeredTypes, log);
    return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT FakeInputPin::EndOfStream()
{
    LogCall(log, "peer.EndOfStream");
    InterlockedIncrement(&endOfStreams);
    SetEvent(sampleArrived.Get());
    return ArmedFault(log, "peer.EndOfStream");
}

HRESULT FakeInputPin::GetAllocator(IMemAllocator** allocator)
{
    LogCall(log, "peer.GetAllocator");
    *allocator = nullptr;
    RETURN_IF_FAILED(ArmedFault(log, "peer.GetAllocator"));
    *allocator = ComPtr<IMemAllocator>(proposedAllocator).Detach();
    return *allocator ? S_OK : VFW_E_NO_ALLOCATOR;
}

HRESULT FakeInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL)
{
    LogCall(log, "peer.NotifyAllocator");
    RETURN_IF_FAILED(ArmedFault(log, "peer.NotifyAllocator"));
    notifiedAllocators.push_back(allocator);
    return allocator == proposedAllocator ? notifyResult : S_OK;
}

HRESULT FakeInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties)
{
    LogCall(log, "peer.GetAllocatorRequirements");
    RETURN_IF_FAILED(ArmedFault(log, "peer.GetAllocatorRequirements"));
    *properties = requirements;
    return S_OK;
}

HRESULT FakeInputPin::Receive(IMediaSample* sample)
{
    if (receiveGate && receiveGate->Pass())
        LogCall(log, "peer.Receive let go");
    if (holdSamples) {
        ScopedLock hold(heldLock);
        held.emplace_back(sample);
    }
    InterlockedIncrement(&received);
    SetEvent(sampleArrived.Get());
    RETURN_IF_FAILED(ArmedFault(log, "peer.Receive"));
    return receiveResult;
}

template <class Done>
bool FakeInputPin::WaitUntil(Done done, DWORD timeoutMs)
{
    const DWORD started = GetTickCount();
    while (!done()) {
        const DWORD spent = GetTickCount() - started;
        if (spent >= timeoutMs)
            return false;
        WaitForSingleObject(sampleArrived.Get(), timeoutMs - spent);
    }
    return true;
}

bool FakeInputPin::WaitForSamples(LONG count, DWORD timeoutMs)
{
    return WaitUntil([&] { return received >= count; }, timeoutMs);
}

bool FakeInputPin::WaitForEndOfStream(DWORD timeoutMs)
{
    return WaitUntil([&] { return endOfStreams > 0; }, timeoutMs);
}

void FakeInputPin::ReleaseHeldSamples()
{
    ScopedLock hold(heldLock);
    held.clear();
}

FakeAllocator::FakeAllocator(CallLog* log, const char* name) : log(log), name(name)
{
    CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                     platform.PutVoid());
}

void* FakeAllocator::Lookup(REFIID iid)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMemAllocator))
        return static_cast<IMemAllocator*>(this);
    return nullptr;
}

HRESULT FakeAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    LogCall(log, (name + ".SetProperties").c_str());
    lastRequest = *request;
    RETURN_IF_FAILED(ArmedFault(log, name + ".SetProperties"));
    if (FAILED(setPropertiesResult))
        return setPropertiesResult;
    ALLOCATOR_PROPERTIES granted = *request;
    granted.cbBuffer -= grantBytesShort + hiddenBytesShort;
    granted.cBuffers -= grantBuffersShort;
    const HRESULT hr = platform->SetProperties(&granted, actual);
    if (SUCCEEDED(hr) && hiddenBytesShort)
        actual->cbBuffer += hiddenBytesShort;
    return hr;
}

HRESULT FakeAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties)
{
    return platform->GetProperties(properties);
}

HRESULT FakeAllocator::Commit()
{
    LogCall(log, (name + ".Commit").c_str());
    RETURN_IF_FAILED(ArmedFault(log, name + ".Commit"));
    return FAILED(commitResult) ? commitResult : platform->Commit();
}

HRESULT FakeAllocator::Decommit()
{
    LogCall(log, (name + ".Decommit").c_str());
    RETURN_IF_FAILED(ArmedFault(log, name + ".Decommit"));
    return FAILED(decommitResult) ? decommitResult : platform->Decommit();
}

HRESULT FakeAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                 DWORD flags)
{
    // Not logged: the worker asks for every frame.
    RETURN_IF_FAILED(ArmedFault(log, name + ".GetBuffer"));
    return platform->GetBuffer(sample, start, stop, flags);
}

HRESULT FakeAllocator::ReleaseBuffer(IMediaSample* sample)
{
    return platform->ReleaseBuffer(sample);
}
