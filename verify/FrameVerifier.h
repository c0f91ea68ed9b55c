#pragma once
// Recognises a captured frame of the camera's stream by its number and compares every
// byte with the frame the camera made. It names the usual changes a host makes instead of
// calling the frame corrupt: rows in reverse order (a top-down frame turned bottom-up) and
// changed fourth bytes of RGB32 pixels (a host that fills in alpha).
//
// The frames come from the generator model the camera fills them from: frame k of a
// stream (from 0; every start of the stream starts again at 0) holds FillNoise from the
// state AdvanceGenerator(GeneratorDefaultSeed, k * (frameBytes + 1)). Nothing here draws
// from rand(), so a verifier may run on the streaming thread beside the camera.
//
// One verifier serves one thread at a time: it keeps rows of the model frame in a buffer
// of its own.
#include "FrameFormat.h"
#include "camera/NoiseGenerator.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// How far from the number expected the search for a frame's number goes, either way:
// over 55 minutes of frames at 30 frames per second, over 4 hours at 6.
constexpr uint64_t FrameSearchBound = 100000;

// Colour bytes of a frame that must all agree with a candidate before the frame is
// compared with it whole: 64 bits, so that no stranger passes by chance.
constexpr int ProbeBytes = 8;

struct FrameMatch
{
    // Some frame's bytes were found in the frame within the search bound. When none were,
    // `number` is the frame expected, and the figures compare with that one.
    bool recognised = false;
    // No probe lies within the bytes, so no frame's number could be looked for: the frame
    // is not known to match none.
    bool tooShortToFind = false;
    uint64_t number = 0;
    bool rowsReversed = false;    // its first row is the frame's last
    // The fourth bytes of more than half the pixels differ. They are then named as one
    // change and kept out of the differing bytes.
    bool fourthBytesChanged = false;
    uint64_t changedFourthBytes = 0;
    int fourthByteValue = -1;    // the one value every fourth byte holds, if there is one
    uint64_t differingBytes = 0;
    // Where the first differing byte lies in the captured frame; only when one differs.
    size_t firstDifference = 0;
    LONG row = 0;
    LONG column = 0;    // in pixels
    size_t comparedBytes = 0;
    bool truncated = false;    // fewer bytes than a frame

    bool Exact() const
    {
        return recognised && !rowsReversed && !fourthBytesChanged && differingBytes == 0
               && !truncated;
    }
};

// The generator state before frame `number`'s first byte.
uint32_t FrameStartState(const FrameFormat& format, uint64_t number);

class FrameVerifier
{
public:
    // `capturedPixelBytes` is the format's own for frames as a host receives them, or 3
    // for 24-bit stills of RGB32 frames, which keep only the colour bytes.
    FrameVerifier(const FrameFormat& format, int capturedPixelBytes);

    const FrameFormat& Format() const { return format; }
    int CapturedPixelBytes() const { return capturedPixelBytes; }
    size_t CapturedFrameBytes() const { return capturedRowBytes * size_t(format.height); }

    // `bytes`, at most CapturedFrameBytes(), hold one captured frame; fewer are a
    // truncated frame, compared as far as it goes. The search starts at `expected`.
    FrameMatch Verify(const BYTE* frame, size_t bytes, uint64_t expected);

private:
    // `steps` generator steps as one affine map of the state.
    struct Jump
    {
        uint32_t multiplier = 1;
        uint32_t increment = 0;
        uint32_t operator()(uint32_t state) const { return multiplier * state + increment; }
    };
    static Jump JumpOf(uint64_t steps);

    // A run of colour bytes of the captured frame, each with the jump from a frame's first
    // state to the state that makes the model's byte it should equal.
    struct Probe
    {
        size_t capturedOffsets[ProbeBytes];
        Jump fromFrameStart[ProbeBytes];
    };
    // The rows as they come, or in reverse order.
    struct Arrangement
    {
        bool rowsReversed;
        std::vector<Probe> probes;
    };

    void AddProbe(Arrangement* arrangement, LONG capturedRow) const;
    // The arrangement in which the frame holds the bytes of the frame that starts at
    // `start`, or null.
    const Arrangement* FindArrangement(const BYTE* frame, size_t bytes, uint32_t start) const;
    void Compare(const BYTE* frame, size_t bytes, uint32_t start, bool rowsReversed,
                 FrameMatch* match);

    const FrameFormat format;
    const int capturedPixelBytes;
    const size_t capturedRowBytes;
    const NoiseKernel kernel;
    const Jump nextFrame;
    const Jump previousFrame;
    Arrangement asCaptured;
    Arrangement reversed;
    LONG chunkRows;
    std::vector<BYTE> modelRows;    // the model rows being compared
};
