#pragma once
// The capture pin's account of one stream for IAMDroppedFrames: frames dropped (with their
// numbers) and frames delivered since the stream started, and the bytes delivered.
#include "framework/Locks.h"

#include <windows.h>

// The numbers of this many dropped frames are kept; later drops are only counted.
constexpr LONG KeptDroppedFrames = 4096;

// Locking
//   countLock: every field; the worker counts between frames, host threads read.
class DroppedFrameCounts
{
public:
    // A new stream: everything back to zero. Called while no worker runs.
    void Reset();
    void CountDelivered(LONG frameBytes);
    void CountDropped(LONGLONG frameNumber);

    LONG Dropped();
    LONG Delivered();
    // Copies the numbers of the first dropped frames, at most `capacity`; returns how many.
    LONG CopyDroppedNumbers(LONG* numbers, LONG capacity);
    // The bytes delivered divided by the frames delivered; 0 before the first.
    LONG AverageFrameBytes();

private:
    CriticalSection countLock;
    LONG dropped = 0;
    LONG delivered = 0;
    LONGLONG deliveredBytes = 0;
    LONG droppedNumbers[KeptDroppedFrames] = {};
};
