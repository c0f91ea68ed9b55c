#pragma once
// A filter made only of output streams that produce their own samples.
#include "CBaseFilter.h"

#include <memory>

class CSourceStream;

// Locking
//   stateLock: the filter's lock (the filter base's and every pin's): state changes and
//   connections. A stopping filter holds it while it waits for its workers.
//   The stream array changes only while the filter is built (AddStream, under stateLock,
//   before any other thread can reach the filter) and destroyed (after the last reference
//   is gone); PinCount, PinAt and StreamIndexOf read it without a lock, so that hosts may
//   list and find pins from any thread, a sample callback on a stopping worker included.
class CSource : public CBaseFilter
{
public:
    CSource(IUnknown* outer, REFCLSID classId);
    // Destroys the streams, last first; each takes itself out of the array.
    ~CSource() override;

    int PinCount() override;
    CBasePin* PinAt(int index) override;

    // Zero-based position of the stream whose IPin is `pin`, or -1.
    int StreamIndexOf(IPin* pin);
    // The filter takes ownership. E_OUTOFMEMORY leaves the array as it was.
    HRESULT AddStream(CSourceStream* stream);
    // Called while a stream is destroyed; later streams move down, keeping their order.
    void RemoveStream(CSourceStream* stream);

    CriticalSection stateLock;

protected:
    // Stops streaming while the whole filter still exists; see the definition.
    void OnFinalRelease() override;

private:
    int streamCount = 0;
    std::unique_ptr<CSourceStream*[]> streams;
};
