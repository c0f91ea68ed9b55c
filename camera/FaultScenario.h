#pragma once
// A fault scenario: what the simulated camera does wrong on purpose, and to which frames.
// It is data and one pure rule, FateOf (what happens to frame k of a stream), shared by the
// capture pin, which carries it out, and by the tools, which store scenarios and verify
// captures made under them. It holds no pointers and allocates nothing, so a copy is a
// plain assignment and the worker can consult it every frame.
//
// As text, items are separated by ';' and their words by spaces:
//   drop K[,K...]   drop-every N   drop-percent P SEED   repeat K   corrupt K
//   stall K MS      late-start MS  jitter MS             stamp-step K MS
//   no-stamp K      clock-wrap     lose-device K         abort K HRESULT   end K
//   fail-start HRESULT             bottom-up
// Frame numbers count from 0 at every start of the stream, as the frames themselves do.
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Bounds of the text and of its numbers.
constexpr size_t MaxScenarioTextBytes = 4096;    // the terminating NUL included
constexpr int MaxFrameFaults = 512;              // frame numbers named by the items K
constexpr LONG MaxFaultMs = 3600000;             // an hour: stalls, jitter, stamp steps
constexpr LONG MaxFaultFrame = 0x7FFFFFFF;
constexpr size_t ScenarioProblemBytes = 256;

// How a stream ends instead of delivering a frame.
enum class StreamEnd
{
    None,
    EndOfStream,    // end K: end of stream
    DeviceLost,     // lose-device K: EC_DEVICE_LOST, then nothing
    Abort,          // abort K HRESULT: EC_ERRORABORT with the HRESULT, then end of stream
};

// What happens to one frame of the stream.
struct FrameFate
{
    // Nothing from this frame on: the stream ends here, as `end` says.
    StreamEnd end = StreamEnd::None;
    HRESULT abortResult = S_OK;
    // False: dropped. The generator and the camera's clock still pass it.
    bool delivered = true;
    bool discontinuity = false;    // delivered after a dropped frame
    bool repeated = false;         // delivered a second time, with the next stamp
    bool corrupted = false;        // as CorruptFrame changes it
    bool untimed = false;          // delivered without a time
    LONG stallMs = 0;              // delivery waits this long before the frame
    LONGLONG stampShiftMs = 0;     // added to the camera's stamp: steps so far, and jitter
};

class FaultScenario
{
public:
    // Parses `text` (at most MaxScenarioTextBytes - 1 characters; empty means no faults).
    // On failure `problem` says which item and why, and `scenario` is left as it was.
    static bool Parse(const char* text, FaultScenario* scenario,
                      char (&problem)[ScenarioProblemBytes]);

    // The scenario as text, items in a fixed order; Parse of it gives the same scenario.
    // False when it does not fit `bytes`.
    bool Format(char* text, size_t bytes) const;

    // No item at all: the camera behaves as it always has.
    bool IsEmpty() const;

    FrameFate FateOf(LONGLONG frame) const;

    // Starting the stream fails with this, or S_OK.
    HRESULT FailStart() const { return failStart; }
    // The pin lists and delivers bottom-up frames.
    bool BottomUp() const { return bottomUp; }
    // The camera's millisecond clock jumps to just short of a multiple of 2^32 at the start.
    bool ClockWrap() const { return clockWrap; }

    bool operator==(const FaultScenario& other) const;
    bool operator!=(const FaultScenario& other) const { return !(*this == other); }

private:
    enum class Kind : BYTE
    {
        Drop,
        Repeat,
        Corrupt,
        Stall,
        StampStep,
        NoStamp,
    };
    struct FrameFault
    {
        LONG frame;
        Kind kind;
        LONG value;    // milliseconds of a stall or a stamp step
    };

    class Parser;

    bool IsDropped(LONGLONG frame) const;
    // The faults named for `frame`, sorted by frame then kind: [first, last).
    void FaultsAt(LONGLONG frame, int* first, int* last) const;

    FrameFault faults[MaxFrameFaults] = {};
    int faultCount = 0;
    LONG dropEvery = 0;           // 0: none; else frames N, 2N, 3N ...
    LONG dropBasisPoints = -1;    // -1: none; else drop-percent in hundredths of a percent
    uint32_t dropSeed = 0;
    LONG lateStartMs = 0;
    LONG jitterMs = 0;
    bool clockWrap = false;
    bool bottomUp = false;
    StreamEnd end = StreamEnd::None;
    LONG endFrame = 0;
    HRESULT abortResult = S_OK;
    HRESULT failStart = S_OK;
};

// The documented change `corrupt K` makes: the 16 rows of the picture that start a quarter
// of the way down (fewer in a frame of under 16 rows) are made white, every byte 0xFF.
// `frame` holds `rows` rows of `rowBytes` bytes, the picture's top row first.
void CorruptFrame(BYTE* frame, size_t rowBytes, LONG rows);

// Swaps the order of the rows in place: a top-down frame becomes a bottom-up one.
void ReverseRows(BYTE* frame, size_t rowBytes, LONG rows);

// The first stamp after `clockMs` that lies just short of a multiple of 2^32 ms, less a
// second: where `clock-wrap` moves the camera's clock at the start of a stream, so that a
// host keeping 32-bit milliseconds wraps about a second into it.
LONGLONG WrappingClockStart(LONGLONG clockMs);
