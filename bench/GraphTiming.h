#pragma once
// Times frames through the platform's filter graph: a capture filter of the benchmark's
// own variant, made in this process, feeding the Sample Grabber and the Null Renderer,
// run with no reference clock so frames flow as fast as they are made.
#include <windows.h>

#include <string>

struct GraphFigures
{
    HRESULT result = S_OK;
    std::string failedStep;    // what failed, for the user
    int frames = 0;            // delivered; the figures time all after the first
    double framesPerSecond = 0;
    double cpuMsPerFrame = 0;           // the whole process's CPU time, over the same frames
    SIZE_T privateBytesAfter100 = 0;    // 0: the run was shorter
    SIZE_T privateBytesAfter1000 = 0;
    bool fromModel = false;    // the camera still made its frames from the model at the end
};

// Runs frames in capability `capability` of the pin's IAMStreamConfig until at least
// `leastFrames` (2 or more) have come and `leastSeconds` have passed since the first.
// With `drawBetweenFrames` the grabber's callback draws from rand() on the streaming
// thread after each frame, as a downstream filter may, which sends the camera back to
// rand() per byte from the second frame on.
GraphFigures RunThroughGraph(int capability, int leastFrames, double leastSeconds,
                             bool drawBetweenFrames);
