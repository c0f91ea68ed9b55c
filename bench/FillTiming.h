#pragma once
// Times filling one frame's buffer on the calling process: the platform's memset, the
// camera's CaptureFrame as a streaming thread calls it, and the noise kernels alone.
// Each figure is the best of several rounds, so that other work on the machine counts
// as little as it can.
#include "camera/NoiseGenerator.h"

#include <windows.h>

#include <cstddef>

struct FrameLayout
{
    LONG width;
    LONG height;    // negative: top-down, as the catalogue lists it
    LONG bitCount;
};

struct FillFigures
{
    double msPerFrame = 0;
    bool fromModel = false;    // the camera made its frames from the model throughout
};

// `buffer` holds at least `bytes` bytes, committed.
double MemsetMsPerFrame(BYTE* buffer, size_t bytes);
double KernelMsPerFrame(NoiseKernel kernel, BYTE* buffer, size_t bytes);

struct VerifyFigures
{
    // CaptureFrame as the streaming thread calls it, timed in turn with the first: their
    // ratio holds while other work on the machine comes and goes.
    double fillMsPerFrame = 0;
    double exactMsPerFrame = 0;        // a frame of the stream, found at the number expected
    double unmatchedMsPerFrame = 0;    // a frame that matches none: the whole search, then
                                       // the comparison with the frame expected
    bool exact = false;                // the first was verified exact
};

// FrameVerifier::Verify of one frame of catalogue format `index`, as orvix-capture
// --verify calls it on the streaming thread, beside the camera filling the next frame.
// `frame` and `fillBuffer` each hold at least a frame of the format.
VerifyFigures VerifyMsPerFrame(int index, const FrameLayout& layout, BYTE* frame, BYTE* fillBuffer);

// CaptureFrame on a new thread of its own, as a capture pin's worker calls it. With
// `startStream` the camera is told of the stream first and makes frames from its model;
// without, it draws every byte from rand().
FillFigures CaptureFrameMsPerFrame(const FrameLayout& layout, BYTE* buffer, bool startStream);
