#include "CBaseOutputPin.h"

#include "Result.h"

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, CriticalSection* pinLock,
                               const wchar_t* pinName)
    : CBasePin(filter, pinLock, pinName, PINDIR_OUTPUT)
{
}

HRESULT CBaseOutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

HRESULT CBaseOutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

HRESULT CBaseOutputPin::EndFlush()
{
    return E_UNEXPECTED;
}

HRESULT CBaseOutputPin::Activate()
{
    return allocator ? allocator->Commit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::Deactivate()
{
    return allocator ? allocator->Decommit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::CheckPeer(IPin* candidate)
{
    // A pin that cannot say which way it faces is no peer either: its failure is the answer.
    PIN_DIRECTION peerDirection = PINDIR_INPUT;
    RETURN_IF_FAILED(candidate->QueryDirection(&peerDirection));
    if (peerDirection == PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    return candidate->QueryInterface(IID_IMemInputPin, peerInput.PutVoid());
}

HRESULT CBaseOutputPin::TearDownConnection()
{
    if (allocator) {
        RETURN_IF_FAILED(allocator->Decommit());
        allocator.Reset();
    }
    peerInput.Reset();
    return S_OK;
}

HRESULT CBaseOutputPin::FinishConnection(IPin*)
{
    return ChooseAllocator(peerInput.Get(), allocator.Put());
}

HRESULT CBaseOutputPin::ChooseAllocator(IMemInputPin* input, IMemAllocator** chosen)
{
    if (!input || !chosen)
        return E_POINTER;
    *chosen = nullptr;
    ALLOCATOR_PROPERTIES requirements = {};
    input->GetAllocatorRequirements(&requirements);    // a peer may have none
    if (requirements.cbAlign == 0)
        requirements.cbAlign = 1;

    ComPtr<IMemAllocator> candidate;
    HRESULT hr = input->GetAllocator(candidate.Put());
    if (SUCCEEDED(hr) && candidate)
        hr = ChooseBufferSize(candidate.Get(), &requirements);
    else if (SUCCEEDED(hr))
        hr = E_POINTER;
    if (SUCCEEDED(hr))
        hr = input->NotifyAllocator(candidate.Get(), FALSE);
    if (SUCCEEDED(hr)) {
        *chosen = candidate.Detach();
        return S_OK;
    }

    // The peer's allocator would not do: a new platform one, with the same requirements.
    hr = CreateDefaultAllocator(candidate.Put());
    if (SUCCEEDED(hr))
        hr = ChooseBufferSize(candidate.Get(), &requirements);
    if (SUCCEEDED(hr))
        hr = input->NotifyAllocator(candidate.Get(), FALSE);
    if (FAILED(hr))
        return hr;
    *chosen = candidate.Detach();
    return S_OK;
}

HRESULT CBaseOutputPin::GetFreeSample(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* stop, DWORD flags)
{
    if (!allocator) {
        *sample = nullptr;
        return E_NOINTERFACE;
    }
    return allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::DeliverSample(IMediaSample* sample)
{
    if (!peerInput)
        return VFW_E_NOT_CONNECTED;
    return peerInput->Receive(sample);
}

HRESULT CBaseOutputPin::CreateDefaultAllocator(IMemAllocator** created)
{
    return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(created));
}

HRESULT CBaseOutputPin::SendEndOfStream()
{
    return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::SendBeginFlush()
{
    return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::SendEndFlush()
{
    return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
