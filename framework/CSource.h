#pragma once
// A filter made only of output streams that produce their own samples.
#include "CBaseFilter.h"

#include <memory>

class CSourceStream;

// Locking
//   stateLock: the one lock of the filter, its stream array and its pins (the filter
//   base's lock and every pin's lock).
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
