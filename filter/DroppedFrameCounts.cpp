#include "DroppedFrameCounts.h"

#include <algorithm>
#include <climits>

void DroppedFrameCounts::Reset()
{
    ScopedLock hold(countLock);
    dropped = 0;
    delivered = 0;
    deliveredBytes = 0;
}

void DroppedFrameCounts::CountDelivered(LONG frameBytes)
{
    ScopedLock hold(countLock);
    // Counts stay at their largest value rather than wrap into nonsense.
    if (delivered < LONG_MAX)
        ++delivered;
    deliveredBytes += frameBytes;
}

void DroppedFrameCounts::CountDropped(LONGLONG frameNumber)
{
    ScopedLock hold(countLock);
    if (dropped < KeptDroppedFrames)
        droppedNumbers[dropped] = LONG(std::min<LONGLONG>(frameNumber, LONG_MAX));
    if (dropped < LONG_MAX)
        ++dropped;
}

LONG DroppedFrameCounts::Dropped()
{
    ScopedLock hold(countLock);
    return dropped;
}

LONG DroppedFrameCounts::Delivered()
{
    ScopedLock hold(countLock);
    return delivered;
}

LONG DroppedFrameCounts::CopyDroppedNumbers(LONG* numbers, LONG capacity)
{
    ScopedLock hold(countLock);
    const LONG copied = std::min({capacity, dropped, KeptDroppedFrames});
    std::copy(droppedNumbers, droppedNumbers + copied, numbers);
    return copied;
}

LONG DroppedFrameCounts::AverageFrameBytes()
{
    ScopedLock hold(countLock);
    return delivered ? LONG(deliveredBytes / delivered) : 0;
}
