#pragma once
// What a capture achieved, from the frames' time stamps and arrival times.
#include <windows.h>
#include <strmif.h>

#include <vector>

struct FrameRecord
{
    bool hasTime = false;        // the sample carried a start and an end time
    REFERENCE_TIME start = 0;    // 100-nanosecond units
    REFERENCE_TIME stop = 0;
    LONGLONG arrivalTicks = 0;    // performance counter when the frame arrived
};

struct CaptureFigures
{
    int frameCount = 0;
    // Frames per second between the first arrival and the last; needs two frames.
    bool hasRate = false;
    double framesPerSecond = 0;
    // Spacing of successive start times in milliseconds; needs two stamped frames.
    bool hasSpacing = false;
    double meanSpacingMs = 0;
    double shortestSpacingMs = 0;
    double longestSpacingMs = 0;
};

CaptureFigures ComputeFigures(const std::vector<FrameRecord>& frames, LONGLONG ticksPerSecond);
