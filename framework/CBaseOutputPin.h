#pragma once
// An output pin: chooses the sample allocator with the downstream input pin, commits and
// decommits it with the filter's state, and delivers samples and stream events.
#include "CBasePin.h"

class CBaseOutputPin : public CBasePin
{
public:
    CBaseOutputPin(CBaseFilter* filter, CriticalSection* pinLock, const wchar_t* pinName);

    // IPin: an output pin receives no stream events.
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    // Commits the allocator; VFW_E_NO_ALLOCATOR without one.
    HRESULT Activate() override;
    // Decommits the allocator, which also frees a worker waiting for a buffer.
    HRESULT Deactivate() override;
    // A peer of the other direction that takes samples (IMemInputPin, held from now on).
    HRESULT CheckPeer(IPin* candidate) override;
    // Decommits and drops the allocator, then drops the peer's input. A failing
    // Decommit is returned at once, and both stay held.
    HRESULT TearDownConnection() override;
    HRESULT FinishConnection(IPin* peer) override;

    // The peer's allocator if it will serve our buffer sizes, else a new platform one.
    virtual HRESULT ChooseAllocator(IMemInputPin* input, IMemAllocator** chosen);
    // Sets the buffer count and size on `candidate`; fails when the grant is too small.
    virtual HRESULT ChooseBufferSize(IMemAllocator* candidate, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetFreeSample(IMediaSample** sample, REFERENCE_TIME* start,
                                  REFERENCE_TIME* stop, DWORD flags);
    virtual HRESULT DeliverSample(IMediaSample* sample);
    virtual HRESULT CreateDefaultAllocator(IMemAllocator** created);
    virtual HRESULT SendEndOfStream();
    virtual HRESULT SendBeginFlush();
    virtual HRESULT SendEndFlush();
    virtual HRESULT SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    ComPtr<IMemAllocator> allocator;    // none until a connection is made
    ComPtr<IMemInputPin> peerInput;     // none until a connection is made
};
