#include "FrameVerifier.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace {

// Model rows made and compared at a time: as many as fit in a block that stays in the
// processor's caches between being made and being read.
constexpr size_t modelBlockBytes = 128 * 1024;

// The generator returns to every state after 2^32 steps.
constexpr uint64_t generatorPeriod = uint64_t(1) << 32;

// How many bytes differ, and the lowest offset of one, in the captured frame.
struct Tally
{
    uint64_t count = 0;
    size_t first = SIZE_MAX;

    void Add(size_t offset)
    {
        ++count;
        first = std::min(first, offset);
    }
    // The bytes whose bits are set in `lanes`, the lowest at `offset`.
    void AddLanes(unsigned lanes, size_t offset)
    {
        count += unsigned(__builtin_popcount(lanes));
        first = std::min(first, offset + unsigned(__builtin_ctz(lanes)));
    }
};

// True when the runs hold the same bytes. Sixty-four at a time, folded into one test:
// the quick answer for the rows of an exact frame.
__attribute__((target("sse2"))) bool SameRuns(const BYTE* captured, const BYTE* model, size_t count)
{
    size_t offset = 0;
    for (; offset + 64 <= count; offset += 64) {
        __m128i folded = _mm_setzero_si128();
        for (size_t part = 0; part < 64; part += 16)
            folded = _mm_or_si128(
                folded,
                _mm_xor_si128(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(captured + offset + part)),
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(model + offset + part))));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(folded, _mm_setzero_si128())) != 0xFFFF)
            return false;
    }
    return memcmp(captured + offset, model + offset, count - offset) == 0;
}

// Compares two runs of bytes laid out alike, sixteen at a time, and tallies the bytes
// that differ at `base` + their offset: the fourth of every four when `fourthBytes`,
// colour otherwise. Runs start on a pixel, so in sixteen bytes the fourth bytes are the
// same four. Returns how far it went: a whole number of sixteen bytes.
__attribute__((target("sse2"))) size_t CompareRuns(const BYTE* captured, const BYTE* model,
                                                   size_t count, bool fourthBytes, size_t base,
                                                   Tally* colour, Tally* fourth)
{
    const unsigned fourthLanes = fourthBytes ? 0x8888u : 0u;
    size_t offset = 0;
    for (; offset + 16 <= count; offset += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(captured + offset));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(model + offset));
        const unsigned differing = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) & 0xFFFFu;
        if (differing & ~fourthLanes)
            colour->AddLanes(differing & ~fourthLanes, base + offset);
        if (differing & fourthLanes)
            fourth->AddLanes(differing & fourthLanes, base + offset);
    }
    return offset;
}

}    // namespace

uint32_t FrameStartState(const FrameFormat& format, uint64_t number)
{
    // Each frame draws one value beyond its bytes. The product may wrap: steps count only
    // modulo the generator's period, which divides 2^64.
    return AdvanceGenerator(GeneratorDefaultSeed, number * (uint64_t(format.frameBytes) + 1));
}

FrameVerifier::Jump FrameVerifier::JumpOf(uint64_t steps)
{
    // For a given number of steps, AdvanceGenerator is affine in the state: its answers
    // for the states 0 and 1 give the whole map.
    Jump jump;
    jump.increment = AdvanceGenerator(0, steps);
    jump.multiplier = AdvanceGenerator(1, steps) - jump.increment;
    return jump;
}

FrameVerifier::FrameVerifier(const FrameFormat& format, int capturedPixelBytes)
    : format(format), capturedPixelBytes(capturedPixelBytes),
      capturedRowBytes(size_t(format.width) * size_t(capturedPixelBytes)),
      kernel(FastestNoiseKernel()), nextFrame(JumpOf(uint64_t(format.frameBytes) + 1)),
      previousFrame(JumpOf(generatorPeriod - (uint64_t(format.frameBytes) + 1) % generatorPeriod)),
      asCaptured{false, {}}, reversed{true, {}},
      chunkRows(LONG(std::max<size_t>(1, modelBlockBytes / format.rowBytes))),
      modelRows(size_t(chunkRows) * format.rowBytes)
{
    // Probes at the top, the middle and the bottom: a frame damaged in one place is still
    // recognised by another.
    for (LONG row : {LONG(0), format.height / 2, format.height - 1}) {
        AddProbe(&asCaptured, row);
        AddProbe(&reversed, row);
    }
}

void FrameVerifier::AddProbe(Arrangement* arrangement, LONG capturedRow) const
{
    const LONG modelRow = arrangement->rowsReversed ? format.height - 1 - capturedRow : capturedRow;
    Probe probe;
    // The first three bytes of each pixel are colour in every layout: a fourth byte may
    // have been changed or dropped, so it never decides which frame this is.
    for (int i = 0; i < ProbeBytes; ++i) {
        const size_t pixel = size_t(i / 3);
        const size_t channel = size_t(i % 3);
        probe.capturedOffsets[i] =
            size_t(capturedRow) * capturedRowBytes + pixel * size_t(capturedPixelBytes) + channel;
        const size_t modelOffset =
            size_t(modelRow) * format.rowBytes + pixel * size_t(format.pixelBytes) + channel;
        probe.fromFrameStart[i] = JumpOf(uint64_t(modelOffset) + 1);
    }
    arrangement->probes.push_back(probe);
}

const FrameVerifier::Arrangement* FrameVerifier::FindArrangement(const BYTE* frame, size_t bytes,
                                                                 uint32_t start) const
{
    for (const Arrangement* arrangement : {&asCaptured, &reversed}) {
        for (const Probe& probe : arrangement->probes) {
            if (probe.capturedOffsets[ProbeBytes - 1] >= bytes)
                continue;
            int agreeing = 0;
            while (agreeing < ProbeBytes
                   && frame[probe.capturedOffsets[agreeing]]
                          == NoiseByte(GeneratorValue(probe.fromFrameStart[agreeing](start))))
                ++agreeing;
            if (agreeing == ProbeBytes)
                return arrangement;
        }
    }
    return nullptr;
}

FrameMatch FrameVerifier::Verify(const BYTE* frame, size_t bytes, uint64_t expected)
{
    bytes = std::min(bytes, CapturedFrameBytes());
    FrameMatch match;
    match.number = expected;
    // The top row's probe lies first in the frame: short of it, no probe can be read.
    match.tooShortToFind = asCaptured.probes.front().capturedOffsets[ProbeBytes - 1] >= bytes;
    const uint32_t expectedStart = FrameStartState(format, expected);
    uint32_t start = expectedStart;
    const Arrangement* found = FindArrangement(frame, bytes, start);
    // Nearest first, alternating ahead and behind; no frame comes before frame 0.
    uint32_t ahead = expectedStart;
    uint32_t behind = expectedStart;
    for (uint64_t distance = 1; !found && !match.tooShortToFind && distance <= FrameSearchBound;
         ++distance) {
        ahead = nextFrame(ahead);
        found = FindArrangement(frame, bytes, ahead);
        if (found) {
            match.number = expected + distance;
            start = ahead;
        } else if (distance <= expected) {
            behind = previousFrame(behind);
            found = FindArrangement(frame, bytes, behind);
            if (found) {
                match.number = expected - distance;
                start = behind;
            }
        }
    }
    match.recognised = found != nullptr;
    match.rowsReversed = found && found->rowsReversed;
    Compare(frame, bytes, start, match.rowsReversed, &match);
    return match;
}

void FrameVerifier::Compare(const BYTE* frame, size_t bytes, uint32_t start, bool rowsReversed,
                            FrameMatch* match)
{
    const size_t capturedPixel = size_t(capturedPixelBytes);
    const size_t modelPixel = size_t(format.pixelBytes);
    Tally colour;
    Tally fourth;
    // A frame laid out as the model, rows in order, holds the model's bytes at the same
    // offsets: it is read against the generator in one pass, and only the blocks of rows
    // from a difference on are made and compared byte by byte. `agreed` bytes from the
    // start of the frame are known to hold the model's.
    const bool asModel = capturedPixel == modelPixel && !rowsReversed;
    size_t agreed = 0;
    uint32_t state = start;
    for (LONG firstRow = 0; firstRow < format.height; firstRow += chunkRows) {
        const LONG rows = std::min(chunkRows, format.height - firstRow);
        const size_t chunkBytes = size_t(rows) * format.rowBytes;
        if (asModel) {
            const size_t chunkStart = size_t(firstRow) * format.rowBytes;
            const size_t chunkEnd = std::min(chunkStart + chunkBytes, bytes);
            if (agreed <= chunkStart && chunkStart < bytes)
                agreed =
                    chunkStart
                    + MatchingNoiseBytes(state, frame + chunkStart, bytes - chunkStart, kernel);
            if (agreed >= chunkEnd) {
                state = AdvanceGenerator(state, chunkBytes);
                continue;
            }
        }
        state = FillNoise(state, modelRows.data(), chunkBytes, kernel);
        for (LONG i = 0; i < rows; ++i) {
            const LONG modelRow = firstRow + i;
            const LONG capturedRow = rowsReversed ? format.height - 1 - modelRow : modelRow;
            const size_t rowStart = size_t(capturedRow) * capturedRowBytes;
            if (rowStart >= bytes)
                continue;
            const size_t present = std::min(capturedRowBytes, bytes - rowStart);
            const BYTE* captured = frame + rowStart;
            const BYTE* model = modelRows.data() + size_t(i) * format.rowBytes;
            if (capturedPixel == modelPixel && SameRuns(captured, model, present))
                continue;
            size_t offset = 0;
            if (capturedPixel == modelPixel)
                offset = CompareRuns(captured, model, present, capturedPixel == 4, rowStart,
                                     &colour, &fourth);
            for (size_t pixel = offset / capturedPixel; offset < present; ++pixel)
                for (size_t channel = offset % capturedPixel;
                     channel < capturedPixel && offset < present; ++channel, ++offset)
                    if (captured[offset] != model[pixel * modelPixel + channel])
                        (channel == 3 ? fourth : colour).Add(rowStart + offset);
        }
    }

    match->comparedBytes = bytes;
    match->truncated = bytes < CapturedFrameBytes();
    const uint64_t pixels = bytes / capturedPixel;
    match->fourthBytesChanged = capturedPixel == 4 && fourth.count * 2 > pixels;
    Tally differing = colour;
    if (match->fourthBytesChanged) {
        match->changedFourthBytes = fourth.count;
        match->fourthByteValue = frame[3];
        for (size_t offset = 3; offset < bytes && match->fourthByteValue >= 0; offset += 4)
            if (frame[offset] != match->fourthByteValue)
                match->fourthByteValue = -1;
    } else {
        differing.count += fourth.count;
        differing.first = std::min(differing.first, fourth.first);
    }
    match->differingBytes = differing.count;
    if (differing.count) {
        match->firstDifference = differing.first;
        match->row = LONG(differing.first / capturedRowBytes);
        match->column = LONG(differing.first % capturedRowBytes / capturedPixel);
    }
}
