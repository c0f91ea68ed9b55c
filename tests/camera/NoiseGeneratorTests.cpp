// The model of the platform's rand() and the kernels that fill frames from it, held
// against the platform's own generator.
#include "NewThread.h"
#include "camera/NoiseGenerator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const NoiseKernel AllKernels[] = {NoiseKernel::Sse2, NoiseKernel::Avx2, NoiseKernel::Avx512};

// Counts the draws of this thread's rand() that differ from the model run on from
// `state`.
int DisagreeingDraws(uint32_t state, int draws)
{
    int disagreeing = 0;
    for (int i = 0; i < draws; ++i) {
        state = GeneratorStep(state);
        disagreeing += rand() != GeneratorValue(state);
    }
    return disagreeing;
}

TEST(GeneratorModel, FollowsThePlatformRandOfANewThreadAndAfterAnySeed)
{
    EXPECT_TRUE(PlatformGeneratorIsModelled());
    int fromDefault = -1;
    std::vector<int> afterSeeds;
    const uint32_t seeds[] = {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x2545F491u};
    ASSERT_TRUE(RunOnNewThread([&] {
        fromDefault = DisagreeingDraws(GeneratorDefaultSeed, 1 << 20);
        for (uint32_t seed : seeds) {
            srand(seed);
            afterSeeds.push_back(DisagreeingDraws(seed, 4096));
        }
    }));
    EXPECT_EQ(fromDefault, 0);
    EXPECT_EQ(afterSeeds, std::vector<int>(std::size(seeds), 0));
}

TEST(GeneratorModel, AdvancesAnyNumberOfStepsAtOnce)
{
    uint32_t stepped = 0x9E3779B9u;
    const uint32_t start = stepped;
    for (uint64_t steps = 0; steps <= 5000; ++steps) {
        ASSERT_EQ(AdvanceGenerator(start, steps), stepped) << steps;
        stepped = GeneratorStep(stepped);
    }
    // Jumps compose, and the generator comes back to where it began after 2^32 steps
    // and not after 2^31 (an odd increment and a multiplier of the form 4k + 1).
    const uint64_t a = 123456789012ull, b = 987654321ull;
    EXPECT_EQ(AdvanceGenerator(AdvanceGenerator(start, a), b), AdvanceGenerator(start, a + b));
    EXPECT_EQ(AdvanceGenerator(start, 1ull << 32), start);
    EXPECT_NE(AdvanceGenerator(start, 1ull << 31), start);
}

TEST(GeneratorModel, ConfirmingDrawsPinEveryBitAValueDependsOn)
{
    // A step carries only upwards, so bit 31 reaches no value: states that differ only
    // there give the same values for ever.
    uint32_t state = 0x1234ABCDu;
    uint32_t twin = state ^ 0x80000000u;
    for (int i = 0; i < 10000; ++i) {
        state = GeneratorStep(state);
        twin = GeneratorStep(twin);
        ASSERT_EQ(GeneratorValue(state), GeneratorValue(twin));
    }

    // States x and x + d (d taken over the low 31 bits) stay d * 214013^j apart after
    // j steps. A value is bits 16 to 30, so two states can give the same value only when
    // that difference, read from -2^30 to 2^30, lies within ±2^16. The first draw then
    // leaves only d = e / 214013 for small e; none of them passes every later draw.
    const uint32_t multiplier = 214013u;
    uint32_t inverse = multiplier;    // Newton's iteration doubles the good bits
    for (int round = 0; round < 5; ++round)
        inverse *= 2u - multiplier * inverse;
    const uint32_t low31 = 0x7FFFFFFFu;
    auto valuesMayAgree = [&](uint32_t difference) {
        const uint32_t centred = difference & low31;
        const int32_t signedDifference =
            centred & 0x40000000u ? int32_t(centred | 0x80000000u) : int32_t(centred);
        return signedDifference > -65536 && signedDifference < 65536;
    };
    int survivors = 0;
    for (int32_t e = -65535; e <= 65535; ++e) {
        if (e == 0)
            continue;
        uint32_t difference = (inverse * uint32_t(e)) & low31;
        bool agreed = true;
        for (int draw = 0; draw < ConfirmingDraws && agreed; ++draw) {
            difference *= multiplier;
            agreed = valuesMayAgree(difference);
        }
        survivors += agreed;
    }
    EXPECT_EQ(survivors, 0);
}

TEST(NoiseKernels, StoreTheModelsBytesForAnyStateLengthAndAlignment)
{
    const size_t lengths[] = {0,   1,   2,   15,  16,  17,  63,   64,  65,
                              127, 128, 129, 255, 256, 257, 1000, 4099};
    const uint32_t states[] = {GeneratorDefaultSeed, 0xFFFFFFFFu, 0x6A09E667u};
    const BYTE guard = 0xA5;
    for (NoiseKernel kernel : AllKernels) {
        SCOPED_TRACE(NoiseKernelName(kernel));
        for (uint32_t start : states) {
            for (size_t length : lengths) {
                for (size_t offset = 0; offset < 4; ++offset) {
                    std::vector<BYTE> expected(length + 72, guard);
                    uint32_t state = start;
                    for (size_t i = 0; i < length; ++i) {
                        state = GeneratorStep(state);
                        expected[offset + i] = NoiseByte(GeneratorValue(state));
                    }
                    std::vector<BYTE> filled(length + 72, guard);
                    const uint32_t end = FillNoise(start, filled.data() + offset, length, kernel);
                    ASSERT_EQ(end, state) << length << " at " << offset;
                    ASSERT_TRUE(filled == expected) << length << " at " << offset;
                }
            }
        }
    }
}

TEST(NoiseKernels, FindTheFirstByteThatDiffersFromTheModelForAnyStateLengthAndAlignment)
{
    const size_t lengths[] = {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 257, 1000, 4099};
    const uint32_t states[] = {GeneratorDefaultSeed, 0xFFFFFFFFu, 0x6A09E667u};
    // Inside and at the edges of the kernels' rounds of 16, 64 and 128 bytes, and in the
    // partial round at the end.
    const size_t changes[] = {0, 1, 15, 16, 63, 64, 100, 127, 128, 200, 255, 256, 999, 4098};
    for (NoiseKernel kernel : AllKernels) {
        SCOPED_TRACE(NoiseKernelName(kernel));
        for (uint32_t start : states) {
            for (size_t length : lengths) {
                for (size_t offset = 0; offset < 4; ++offset) {
                    // Bytes beyond the run differ from the model: none of them is counted.
                    std::vector<BYTE> held(length + 72, 0xA5);
                    BYTE* run = held.data() + offset;
                    uint32_t state = start;
                    for (size_t i = 0; i < length; ++i) {
                        state = GeneratorStep(state);
                        run[i] = NoiseByte(GeneratorValue(state));
                    }
                    ASSERT_EQ(MatchingNoiseBytes(start, run, length, kernel), length)
                        << length << " at " << offset;
                    for (size_t changed : changes) {
                        if (changed >= length)
                            continue;
                        run[changed] ^= 0x01;
                        run[length - 1] ^= 0x40;    // a later difference changes nothing
                        EXPECT_EQ(MatchingNoiseBytes(start, run, length, kernel), changed)
                            << length << " at " << offset << ", changed " << changed;
                        run[changed] ^= 0x01;
                        run[length - 1] ^= 0x40;
                    }
                }
            }
        }
    }
}

TEST(NoiseKernels, ReadNoByteBeyondTheRunTheyCompare)
{
    // The run ends where the committed memory does, as a host's buffer may.
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    BYTE* pages = static_cast<BYTE*>(
        VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &previous));
    for (NoiseKernel kernel : AllKernels) {
        SCOPED_TRACE(NoiseKernelName(kernel));
        for (size_t length : {size_t(1), size_t(100), size_t(128), size_t(129), page}) {
            BYTE* run = pages + page - length;
            FillNoise(GeneratorDefaultSeed, run, length, kernel);
            EXPECT_EQ(MatchingNoiseBytes(GeneratorDefaultSeed, run, length, kernel), length);
        }
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(NoiseKernels, ABoundOnTheKernelsLeavesTheFastestBelowIt)
{
    const NoiseKernel unbounded = FastestNoiseKernel();
    LimitNoiseKernels(NoiseKernel::Sse2);
    EXPECT_EQ(FastestNoiseKernel(), NoiseKernel::Sse2);
    LimitNoiseKernels(NoiseKernel::Avx2);
    EXPECT_EQ(FastestNoiseKernel(),
              ProcessorRuns(NoiseKernel::Avx2) ? NoiseKernel::Avx2 : NoiseKernel::Sse2);
    LimitNoiseKernels(NoiseKernel::Avx512);
    EXPECT_EQ(FastestNoiseKernel(), unbounded);
}

TEST(NoiseKernels, FillTheLargestFrameAsRandPerByteOnANewThread)
{
    const size_t frameBytes = 2048 * 1536 * 4;
    std::vector<BYTE> drawn(frameBytes);
    ASSERT_TRUE(RunOnNewThread([&] {
        for (BYTE& byte : drawn)
            byte = NoiseByte(rand());
    }));
    std::vector<BYTE> filled(frameBytes);
    for (NoiseKernel kernel : AllKernels) {
        SCOPED_TRACE(NoiseKernelName(kernel));
        std::memset(filled.data(), 0, frameBytes);
        FillNoise(GeneratorDefaultSeed, filled.data(), frameBytes, kernel);
        EXPECT_TRUE(filled == drawn);
    }
}

}    // namespace
