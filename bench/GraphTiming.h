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
    bool fromModel = false;        // the camera still made its frames from the model at the end
    bool verifiedExact = false;    // GrabberWork::Verify: every frame exact and consecutive
};

// What the grabber's callback does with each frame on the streaming thread besides
// counting it.
enum class GrabberWork
{
    None,
    // Draws from rand(), as a downstream filter may, which sends the camera back to
    // rand() per byte from the second frame on.
    DrawFromRand,
    // Verifies the frame against the camera's stream, as orvix-capture --verify does.
    Verify,
};

// Runs frames in capability `capability` of the pin's IAMStreamConfig until at least
// `leastFrames` (2 or more) have come and `leastSeconds` have passed since the first.
GraphFigures RunThroughGraph(int capability, int leastFrames, double leastSeconds,
                             GrabberWork work);
