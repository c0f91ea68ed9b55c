// The frame verifier against frames drawn with one rand() call per byte on a new thread,
// as a capture pin's worker makes them: it finds each frame's number, names rows in
// reverse order and changed fourth bytes, and locates the first byte that differs.
#include "NewThread.h"
#include "verify/FrameVerifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

using Frame = std::vector<BYTE>;

FrameFormat FormatOf(FormatIndex index)
{
    FrameFormat format;
    EXPECT_TRUE(DescribeFrameFormat(index, &format));
    return format;
}

// Frames 0 to count - 1 of a stream: one rand() per byte and one more per frame.
std::vector<Frame> FramesOfANewThread(const FrameFormat& format, size_t count)
{
    std::vector<Frame> frames;
    EXPECT_TRUE(RunOnNewThread([&] {
        for (size_t frame = 0; frame < count; ++frame) {
            Frame bytes(format.frameBytes);
            for (BYTE& byte : bytes)
                byte = BYTE((rand() >> 6) & 0xFF);
            rand();
            frames.push_back(std::move(bytes));
        }
    }));
    return frames;
}

// A frame farthest into the stream, where drawing every byte before it would take too long.
Frame ModelFrame(const FrameFormat& format, uint64_t number)
{
    Frame bytes(format.frameBytes);
    FillNoise(FrameStartState(format, number), bytes.data(), bytes.size(), NoiseKernel::Sse2);
    return bytes;
}

Frame RowsReversed(const Frame& frame, LONG rows)
{
    const size_t rowBytes = frame.size() / size_t(rows);
    Frame reversed(frame.size());
    for (LONG row = 0; row < rows; ++row)
        memcpy(reversed.data() + size_t(rows - 1 - row) * rowBytes,
               frame.data() + size_t(row) * rowBytes, rowBytes);
    return reversed;
}

// The colour bytes alone, three a pixel, as a 24-bit still keeps an RGB32 frame.
Frame ColourBytes(const Frame& frame)
{
    Frame colour;
    for (size_t pixel = 0; pixel < frame.size(); pixel += 4)
        colour.insert(colour.end(), frame.begin() + pixel, frame.begin() + pixel + 3);
    return colour;
}

FrameMatch Verify(FrameVerifier& verifier, const Frame& frame, uint64_t expected)
{
    return verifier.Verify(frame.data(), frame.size(), expected);
}

TEST(FrameVerifier, FindsEachFrameOfAStreamByItsNumberWhereverTheSearchStarts)
{
    for (FormatIndex index : {3, 6}) {
        SCOPED_TRACE(index);
        const FrameFormat format = FormatOf(index);
        const std::vector<Frame> frames = FramesOfANewThread(format, 5);
        FrameVerifier verifier(format, format.pixelBytes);
        for (uint64_t number = 0; number < frames.size(); ++number) {
            const FrameMatch match = Verify(verifier, frames[number], number);
            EXPECT_TRUE(match.Exact()) << number;
            EXPECT_EQ(match.number, number);
            EXPECT_EQ(match.comparedBytes, format.frameBytes);
        }
        // Ahead of the number expected, and behind it.
        EXPECT_EQ(Verify(verifier, frames[4], 0).number, 4u);
        EXPECT_EQ(Verify(verifier, frames[1], 3).number, 1u);
        EXPECT_TRUE(Verify(verifier, frames[1], 3).Exact());
    }
}

TEST(FrameVerifier, SearchesAsFarAsItsBoundEitherWayAndNoFurther)
{
    const FrameFormat format = FormatOf(6);
    FrameVerifier verifier(format, format.pixelBytes);
    const uint64_t expected = FrameSearchBound + 10;
    const uint64_t farthest = expected + FrameSearchBound;
    const FrameMatch ahead = Verify(verifier, ModelFrame(format, farthest), expected);
    EXPECT_TRUE(ahead.Exact());
    EXPECT_EQ(ahead.number, farthest);
    EXPECT_EQ(Verify(verifier, ModelFrame(format, 10), expected).number, 10u);

    const FrameMatch beyond = Verify(verifier, ModelFrame(format, farthest + 1), expected);
    EXPECT_FALSE(beyond.recognised);
    EXPECT_EQ(beyond.number, expected);
    EXPECT_FALSE(Verify(verifier, ModelFrame(format, 9), expected).recognised);
}

TEST(FrameVerifier, NamesRowsInReverseOrderAndChangedFourthBytes)
{
    const FrameFormat format = FormatOf(3);
    const std::vector<Frame> frames = FramesOfANewThread(format, 3);
    FrameVerifier verifier(format, format.pixelBytes);

    const FrameMatch flipped = Verify(verifier, RowsReversed(frames[2], format.height), 0);
    EXPECT_TRUE(flipped.recognised);
    EXPECT_EQ(flipped.number, 2u);
    EXPECT_TRUE(flipped.rowsReversed);
    EXPECT_FALSE(flipped.fourthBytesChanged);
    EXPECT_EQ(flipped.differingBytes, 0u);
    EXPECT_FALSE(flipped.Exact());

    // A host that fills in alpha.
    Frame opaque = frames[1];
    uint64_t changed = 0;
    for (size_t fourth = 3; fourth < opaque.size(); fourth += 4) {
        changed += opaque[fourth] != 0xFF;
        opaque[fourth] = 0xFF;
    }
    const FrameMatch filled = Verify(verifier, opaque, 1);
    EXPECT_TRUE(filled.recognised);
    EXPECT_FALSE(filled.rowsReversed);
    EXPECT_TRUE(filled.fourthBytesChanged);
    EXPECT_EQ(filled.changedFourthBytes, changed);
    EXPECT_EQ(filled.fourthByteValue, 0xFF);
    EXPECT_EQ(filled.differingBytes, 0u);

    const FrameMatch both = Verify(verifier, RowsReversed(opaque, format.height), 2);
    EXPECT_EQ(both.number, 1u);
    EXPECT_TRUE(both.rowsReversed);
    EXPECT_TRUE(both.fourthBytesChanged);
    EXPECT_EQ(both.differingBytes, 0u);

    // A few stray fourth bytes are damage, not a host's habit.
    Frame stray = frames[0];
    stray[4 * 1000 + 3] ^= 0x10;
    const FrameMatch damaged = Verify(verifier, stray, 0);
    EXPECT_FALSE(damaged.fourthBytesChanged);
    EXPECT_EQ(damaged.differingBytes, 1u);
    EXPECT_EQ(damaged.firstDifference, 4u * 1000 + 3);
    EXPECT_EQ(damaged.row, 1);
    EXPECT_EQ(damaged.column, 488);
}

TEST(FrameVerifier, CountsTheBytesThatDifferAndLocatesTheFirstInTheCapturedFrame)
{
    const FrameFormat format = FormatOf(6);
    const std::vector<Frame> frames = FramesOfANewThread(format, 2);
    FrameVerifier verifier(format, format.pixelBytes);

    // Row 100, pixel 7, green; and the frame's very first bytes, where one probe looks.
    const size_t changedAt = 100 * format.rowBytes + 7 * 3 + 1;
    Frame damaged = frames[1];
    damaged[changedAt] ^= 0x01;
    FrameMatch match = Verify(verifier, damaged, 1);
    EXPECT_TRUE(match.recognised);
    EXPECT_EQ(match.number, 1u);
    EXPECT_EQ(match.differingBytes, 1u);
    EXPECT_EQ(match.firstDifference, changedAt);
    EXPECT_EQ(match.row, 100);
    EXPECT_EQ(match.column, 7);
    damaged[0] ^= 0x80;
    damaged[5] ^= 0x80;
    match = Verify(verifier, damaged, 1);
    EXPECT_EQ(match.number, 1u);
    EXPECT_EQ(match.differingBytes, 3u);
    EXPECT_EQ(match.firstDifference, 0u);

    // Turned upside down after the damage: the first difference is the first in the frame
    // as it came, where row 100 is row 283 and the top row the last.
    match = Verify(verifier, RowsReversed(damaged, format.height), 1);
    EXPECT_TRUE(match.rowsReversed);
    EXPECT_EQ(match.differingBytes, 3u);
    EXPECT_EQ(match.firstDifference, 283 * format.rowBytes + 7 * 3 + 1);
    EXPECT_EQ(match.row, 283);
    EXPECT_EQ(match.column, 7);
}

TEST(FrameVerifier, CountsEveryDifferenceOfALargeFrameWhereverItLies)
{
    // Single bytes and a run, at the first and last bytes, at both sides of block borders
    // of 128 KiB and far apart, with long stretches that agree between them.
    const FrameFormat format = FormatOf(1);
    const size_t block = 128 * 1024;
    const size_t changes[] = {0,
                              block - 1,
                              block,
                              5 * block + 77,
                              5 * block + 78,
                              format.frameBytes / 2 + 4 * 123 + 3,
                              format.frameBytes - 1};
    Frame damaged = ModelFrame(format, 3);
    for (size_t changed : changes)
        damaged[changed] ^= 0x08;
    for (size_t run = 0; run < 300; ++run)
        damaged[60 * block + run] = BYTE(~damaged[60 * block + run]);
    FrameVerifier verifier(format, format.pixelBytes);
    FrameMatch match = Verify(verifier, damaged, 3);
    EXPECT_TRUE(match.recognised);
    EXPECT_EQ(match.number, 3u);
    EXPECT_EQ(match.differingBytes, std::size(changes) + 300);
    EXPECT_EQ(match.firstDifference, 0u);

    // Without its first byte's damage, the first difference is the next one.
    damaged[0] ^= 0x08;
    match = Verify(verifier, damaged, 3);
    EXPECT_EQ(match.differingBytes, std::size(changes) - 1 + 300);
    EXPECT_EQ(match.firstDifference, block - 1);
    EXPECT_EQ(match.row, LONG((block - 1) / format.rowBytes));
    EXPECT_EQ(match.column, LONG((block - 1) % format.rowBytes / 4));

    // Cut short just after the run: what lies beyond is not compared.
    match = verifier.Verify(damaged.data(), 60 * block + 300, 3);
    EXPECT_TRUE(match.truncated);
    EXPECT_EQ(match.differingBytes, 5u + 300);
}

TEST(FrameVerifier, ComparesAFrameThatMatchesNoneWithTheFrameExpected)
{
    const FrameFormat format = FormatOf(6);
    const Frame zeros(format.frameBytes, 0);
    const Frame expected = ModelFrame(format, 7);
    uint64_t differing = 0;
    size_t first = SIZE_MAX;
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i]) {
            ++differing;
            first = std::min(first, i);
        }
    FrameVerifier verifier(format, format.pixelBytes);
    const FrameMatch match = Verify(verifier, zeros, 7);
    EXPECT_FALSE(match.recognised);
    EXPECT_EQ(match.number, 7u);
    EXPECT_EQ(match.differingBytes, differing);
    EXPECT_EQ(match.firstDifference, first);
}

TEST(FrameVerifier, VerifiesAStillOfAnRgb32FrameByItsColourBytes)
{
    const FrameFormat format = FormatOf(3);
    const std::vector<Frame> frames = FramesOfANewThread(format, 1);
    FrameVerifier verifier(format, 3);
    EXPECT_EQ(verifier.CapturedFrameBytes(), format.frameBytes / 4 * 3);
    Frame still = ColourBytes(frames[0]);
    EXPECT_TRUE(Verify(verifier, still, 0).Exact());
    EXPECT_TRUE(Verify(verifier, RowsReversed(still, format.height), 0).rowsReversed);

    still[3 * 20 + 2] ^= 0x04;    // pixel 20, red
    const FrameMatch match = Verify(verifier, still, 0);
    EXPECT_EQ(match.differingBytes, 1u);
    EXPECT_EQ(match.firstDifference, 3u * 20 + 2);
    EXPECT_EQ(match.column, 20);
}

TEST(FrameVerifier, ComparesATruncatedFrameAsFarAsItGoes)
{
    const FrameFormat format = FormatOf(6);
    const std::vector<Frame> frames = FramesOfANewThread(format, 2);
    FrameVerifier verifier(format, format.pixelBytes);
    const size_t half = format.frameBytes / 2;
    FrameMatch match = verifier.Verify(frames[1].data(), half, 0);
    EXPECT_TRUE(match.recognised);
    EXPECT_EQ(match.number, 1u);
    EXPECT_TRUE(match.truncated);
    EXPECT_EQ(match.comparedBytes, half);
    EXPECT_EQ(match.differingBytes, 0u);
    EXPECT_FALSE(match.Exact());

    // Cut inside a row, with the last byte but one damaged.
    Frame cut(frames[1].begin(), frames[1].begin() + half + 100);
    cut[half + 98] ^= 0x20;
    match = Verify(verifier, cut, 1);
    EXPECT_EQ(match.number, 1u);
    EXPECT_EQ(match.comparedBytes, half + 100);
    EXPECT_EQ(match.differingBytes, 1u);
    EXPECT_EQ(match.firstDifference, half + 98);

    // Too short for any probe: held against the frame expected and said to be too short to
    // be looked for, whether or not its bytes are that frame's. The eighth colour byte
    // reaches the first probe.
    match = verifier.Verify(frames[1].data(), 5, 1);
    EXPECT_FALSE(match.recognised);
    EXPECT_TRUE(match.tooShortToFind);
    EXPECT_EQ(match.differingBytes, 0u);
    Frame damaged(frames[1].begin(), frames[1].begin() + 7);
    damaged[0] ^= 0x01;
    match = Verify(verifier, damaged, 1);
    EXPECT_FALSE(match.recognised);
    EXPECT_TRUE(match.tooShortToFind);
    EXPECT_EQ(match.differingBytes, 1u);
    match = verifier.Verify(frames[1].data(), 8, 0);
    EXPECT_TRUE(match.recognised);
    EXPECT_FALSE(match.tooShortToFind);
    EXPECT_EQ(match.number, 1u);
    match = verifier.Verify(nullptr, 0, 1);
    EXPECT_EQ(match.comparedBytes, 0u);
    EXPECT_TRUE(match.truncated);
}

}    // namespace
