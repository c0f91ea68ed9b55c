#include "NoiseGenerator.h"

#include "framework/Ownership.h"

#include <cpuid.h>
#include <immintrin.h>

#include <cstdlib>

namespace {

// `steps` generator steps as one: state -> multiplier * state + increment.
struct Jump
{
    uint32_t multiplier;
    uint32_t increment;
};

constexpr Jump JumpOf(uint64_t steps)
{
    Jump total{1, 0};
    Jump power{214013u, 2531011u};
    while (steps) {
        if (steps & 1)
            total = {total.multiplier * power.multiplier,
                     total.increment * power.multiplier + power.increment};
        power = {power.multiplier * power.multiplier, power.increment * (power.multiplier + 1)};
        steps >>= 1;
    }
    return total;
}

// The kernels keep each lane's state shifted left by 2. The two bits that fall off
// (30 and 31) reach no frame byte, since a multiplication carries only upwards, and the
// byte, bits 22 to 29 of the state, becomes the top byte of the lane: one shift takes it.
constexpr uint32_t LaneOf(uint32_t state)
{
    return state << 2;
}

// Stores the generator's bytes one step at a time; the kernels leave it their last
// partial round.
uint32_t FillStepwise(uint32_t state, BYTE* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        state = GeneratorStep(state);
        bytes[i] = NoiseByte(GeneratorValue(state));
    }
    return state;
}

// How many of `count` bytes hold the generator's bytes from `state` on, before the first
// that differs.
size_t MatchStepwise(uint32_t state, const BYTE* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        state = GeneratorStep(state);
        if (bytes[i] != NoiseByte(GeneratorValue(state)))
            return i;
    }
    return count;
}

// The kernels make the generator's bytes a whole round at a time and hand each vector of
// them to a sink as soon as it is made: FillNoise's stores it, MatchingNoiseBytes's
// compares it with the bytes already there, so that checking a frame reads it once and
// writes nothing. A sink answers whether to go on: a comparison stops after the first
// round with a vector that differs, a store never does. A kernel answers how many bytes of
// whole rounds it made before the round the sink stopped in, or all of them.
//
// The two vectors of a wide round each go to the sink as soon as they are made, and the
// round's answers are joined before the one test: holding both results for one call
// spills a vector in 32-bit code, and a test between them spills lanes in x86-64 code.
// What the kernels call is inlined into them, with their instructions: a wide vector is
// never passed on the stack.
#define INLINE_SSE2 __attribute__((target("sse2"), always_inline))
#define INLINE_AVX2 __attribute__((target("avx2"), always_inline))
#define INLINE_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline))

class StoreBytes
{
public:
    explicit StoreBytes(BYTE* bytes) : bytes(bytes) {}

    INLINE_SSE2 bool Take(size_t offset, __m128i made)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + offset), made);
        return true;
    }
    INLINE_AVX2 bool Take(size_t offset, __m256i made)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes + offset), made);
        return true;
    }
    INLINE_AVX512 bool Take(size_t offset, __m512i made)
    {
        _mm512_storeu_si512(bytes + offset, made);
        return true;
    }

private:
    BYTE* bytes;
};

class CompareBytes
{
public:
    explicit CompareBytes(const BYTE* bytes) : bytes(bytes) {}

    INLINE_SSE2 bool Take(size_t offset, __m128i made)
    {
        const __m128i held = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + offset));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(held, made)) == 0xFFFF;
    }
    INLINE_AVX2 bool Take(size_t offset, __m256i made)
    {
        const __m256i differing = _mm256_xor_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + offset)), made);
        return _mm256_testz_si256(differing, differing);
    }
    INLINE_AVX512 bool Take(size_t offset, __m512i made)
    {
        return _mm512_cmpneq_epi8_mask(_mm512_loadu_si512(bytes + offset), made) == 0;
    }

private:
    const BYTE* bytes;
};

// Sixteen bytes per round. SSE2 multiplies 32-bit numbers only in pairs (pmuludq, one
// per 64-bit half), so eight vectors carry two lanes each, in their even 32-bit slots;
// the odd slots fill with the products' high halves, which nothing reads.
template <class Sink>
__attribute__((target("sse2"))) size_t RunSse2(uint32_t state, size_t count, Sink sink)
{
    constexpr size_t roundBytes = 16;
    const size_t rounds = count / roundBytes;
    if (rounds) {
        __m128i lanes[8];
        uint32_t next = state;
        for (__m128i& lane : lanes) {
            const uint32_t first = GeneratorStep(next);
            next = GeneratorStep(first);
            lane = _mm_set_epi32(0, int(LaneOf(next)), 0, int(LaneOf(first)));
        }
        constexpr Jump jump = JumpOf(roundBytes);
        const __m128i multiplier = _mm_set_epi32(0, int(jump.multiplier), 0, int(jump.multiplier));
        const int laneIncrement = int(LaneOf(jump.increment));
        const __m128i increment = _mm_set_epi32(0, laneIncrement, 0, laneIncrement);
        for (size_t round = 0; round < rounds; ++round) {
            __m128i quads[4];
#pragma GCC unroll 4
            for (int q = 0; q < 4; ++q) {
                const __m128 pair =
                    _mm_shuffle_ps(_mm_castsi128_ps(lanes[2 * q]),
                                   _mm_castsi128_ps(lanes[2 * q + 1]), _MM_SHUFFLE(2, 0, 2, 0));
                quads[q] = _mm_srli_epi32(_mm_castps_si128(pair), 24);
            }
            const __m128i out = _mm_packus_epi16(_mm_packs_epi32(quads[0], quads[1]),
                                                 _mm_packs_epi32(quads[2], quads[3]));
            if (!sink.Take(round * roundBytes, out))
                return round * roundBytes;
#pragma GCC unroll 8
            for (int m = 0; m < 8; ++m)
                lanes[m] = _mm_add_epi32(_mm_mul_epu32(lanes[m], multiplier), increment);
        }
    }
    return rounds * roundBytes;
}

// In x86-64 code the wide kernels keep every vector in a register, and their start tables
// load unaligned: that toolchain does not align the stack to 32 or 64 bytes, which a
// spilled wide register would need. 32-bit code can name only eight vector registers, so
// there some vectors do live on the stack, which the compiler realigns for them.
//
// Sixty-four bytes per round, from eight vectors of eight 32-bit lanes. The packing
// instructions work within each 128-bit half, so lane l of vector v in a group of four
// holds byte (l / 4) * 16 + (v % 4) * 4 + l % 4 of the group's 32.
INLINE_AVX2 inline __m256i Avx2GroupBytes(const __m256i* v)
{
    const __m256i low =
        _mm256_packs_epi32(_mm256_srli_epi32(v[0], 24), _mm256_srli_epi32(v[1], 24));
    const __m256i high =
        _mm256_packs_epi32(_mm256_srli_epi32(v[2], 24), _mm256_srli_epi32(v[3], 24));
    return _mm256_packus_epi16(low, high);
}

template <class Sink>
__attribute__((target("avx2"))) size_t RunAvx2(uint32_t state, size_t count, Sink sink)
{
    constexpr size_t roundBytes = 64;
    const size_t rounds = count / roundBytes;
    if (rounds) {
        uint32_t start[8][8];
        uint32_t next = state;
        for (int position = 0; position < int(roundBytes); ++position) {
            next = GeneratorStep(next);
            const int group = position / 32;
            const int half = position % 32 / 16;
            const int vector = position % 16 / 4;
            start[group * 4 + vector][half * 4 + position % 4] = LaneOf(next);
        }
        __m256i lanes[8];
        for (int v = 0; v < 8; ++v)
            lanes[v] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(start[v]));
        constexpr Jump jump = JumpOf(roundBytes);
        const __m256i multiplier = _mm256_set1_epi32(int(jump.multiplier));
        const __m256i increment = _mm256_set1_epi32(int(LaneOf(jump.increment)));
        for (size_t round = 0; round < rounds; ++round) {
            const bool firstGoesOn = sink.Take(round * roundBytes, Avx2GroupBytes(lanes));
            const bool secondGoesOn = sink.Take(round * roundBytes + 32, Avx2GroupBytes(lanes + 4));
            if (!firstGoesOn || !secondGoesOn)
                return round * roundBytes;
#pragma GCC unroll 8
            for (int m = 0; m < 8; ++m)
                lanes[m] = _mm256_add_epi32(_mm256_mullo_epi32(lanes[m], multiplier), increment);
        }
    }
    return rounds * roundBytes;
}

// A hundred and twenty-eight bytes per round, from two groups of four vectors of sixteen
// 32-bit lanes. Vector v of a group holds bytes 16 * v to 16 * v + 15 of the group's 64 in
// order; one byte permutation gathers the top bytes of two vectors, and a blend joins two
// such halves.
INLINE_AVX512 inline __m512i Avx512GroupBytes(const __m512i* v, __m512i topBytes)
{
    const __mmask64 upperHalf = 0xFFFFFFFF00000000ull;
    const __m512i low = _mm512_permutex2var_epi8(v[0], topBytes, v[1]);
    const __m512i high = _mm512_permutex2var_epi8(v[2], topBytes, v[3]);
    return _mm512_mask_blend_epi8(upperHalf, low, high);
}

template <class Sink>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t RunAvx512(uint32_t state,
                                                                        size_t count, Sink sink)
{
    constexpr size_t roundBytes = 128;
    const size_t rounds = count / roundBytes;
    if (rounds) {
        uint32_t start[8][16];
        uint32_t next = state;
        for (int position = 0; position < int(roundBytes); ++position) {
            next = GeneratorStep(next);
            start[position / 16][position % 16] = LaneOf(next);
        }
        __m512i lanes[8];
        for (int v = 0; v < 8; ++v)
            lanes[v] = _mm512_loadu_si512(start[v]);
        // Output byte p of a half takes the top byte of lane p % 16 of the first vector
        // (table indexes 0 to 63) or, from p = 16 on, of the second (64 to 127).
        BYTE gather[64];
        for (int p = 0; p < 64; ++p)
            gather[p] = BYTE((p % 32 < 16 ? 0 : 64) + 4 * (p % 16) + 3);
        const __m512i topBytes = _mm512_loadu_si512(gather);
        constexpr Jump jump = JumpOf(roundBytes);
        const __m512i multiplier = _mm512_set1_epi32(int(jump.multiplier));
        const __m512i increment = _mm512_set1_epi32(int(LaneOf(jump.increment)));
        for (size_t round = 0; round < rounds; ++round) {
            const bool firstGoesOn =
                sink.Take(round * roundBytes, Avx512GroupBytes(lanes, topBytes));
            const bool secondGoesOn =
                sink.Take(round * roundBytes + 64, Avx512GroupBytes(lanes + 4, topBytes));
            if (!firstGoesOn || !secondGoesOn)
                return round * roundBytes;
#pragma GCC unroll 8
            for (int m = 0; m < 8; ++m)
                lanes[m] = _mm512_add_epi32(_mm512_mullo_epi32(lanes[m], multiplier), increment);
        }
    }
    return rounds * roundBytes;
}

// The bytes `kernel` made from `state` into `sink`, as the kernels answer: a kernel the
// processor does not run is replaced by SSE2.
template <class Sink>
size_t RunKernel(NoiseKernel kernel, uint32_t state, size_t count, Sink sink)
{
    if (!ProcessorRuns(kernel))
        kernel = NoiseKernel::Sse2;
    switch (kernel) {
    case NoiseKernel::Avx512:
        return RunAvx512(state, count, sink);
    case NoiseKernel::Avx2:
        return RunAvx2(state, count, sink);
    case NoiseKernel::Sse2:
        break;
    }
    return RunSse2(state, count, sink);
}

// Bits of the kernels the processor runs, by NoiseKernel value.
unsigned DetectKernels()
{
    unsigned kernels = 1u << unsigned(NoiseKernel::Sse2);
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX))
        return kernels;
    // The system must save the registers a kernel uses, not only the processor have them.
    unsigned savedLow = 0, savedHigh = 0;
    __asm__ volatile("xgetbv" : "=a"(savedLow), "=d"(savedHigh) : "c"(0));
    const unsigned vectorState = 0x6;         // SSE and AVX registers
    const unsigned wideVectorState = 0xE0;    // mask registers and the upper AVX-512 registers
    if ((savedLow & vectorState) != vectorState || !__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return kernels;
    if (b & bit_AVX2)
        kernels |= 1u << unsigned(NoiseKernel::Avx2);
    if ((savedLow & wideVectorState) == wideVectorState && (b & bit_AVX512F) && (b & bit_AVX512BW)
        && (c & bit_AVX512VBMI))
        kernels |= 1u << unsigned(NoiseKernel::Avx512);
    return kernels;
}

BOOL CALLBACK DetectKernelsOnce(PINIT_ONCE, void* kernels, void**)
{
    *static_cast<unsigned*>(kernels) = DetectKernels();
    return TRUE;
}

// The bound LimitNoiseKernels sets, a NoiseKernel value: none unless a benchmark sets one.
volatile LONG fastestAllowedKernel = LONG(NoiseKernel::Avx512);

// Values compared at each step of the platform check: far more than ConfirmingDraws.
constexpr int checkDraws = 64;

// Compares the next `draws` values of this thread's rand() with the model running on
// from `*state`, and leaves the model where the last draw left it.
bool DrawsFollowModel(uint32_t* state, int draws)
{
    for (int i = 0; i < draws; ++i) {
        *state = GeneratorStep(*state);
        if (rand() != GeneratorValue(*state))
            return false;
    }
    return true;
}

// Thread routines answer 1 for agreement.
bool RunOnNewThread(LPTHREAD_START_ROUTINE routine)
{
    UniqueHandle thread(CreateThread(nullptr, 0, routine, nullptr, 0, nullptr));
    DWORD exitCode = 0;
    return thread.IsValid() && WaitForSingleObject(thread.Get(), INFINITE) == WAIT_OBJECT_0
           && GetExitCodeThread(thread.Get(), &exitCode) && exitCode == 1;
}

DWORD WINAPI CheckNewThreadStartsAtDefaultSeed(void*)
{
    uint32_t state = GeneratorDefaultSeed;
    return DrawsFollowModel(&state, checkDraws) ? 1 : 0;
}

DWORD WINAPI CheckPlatformGenerator(void*)
{
    uint32_t state = GeneratorDefaultSeed;
    if (!DrawsFollowModel(&state, checkDraws))
        return 0;
    // The camera hands its final state back through srand after each frame, so srand
    // must keep every bit a value depends on. Bit 31 reaches no value at all.
    state = 0xB7E15163u;
    srand(state);
    if (!DrawsFollowModel(&state, checkDraws))
        return 0;
    // A thread started while this one's generator is far from the default still starts
    // at the default, and leaves this one's generator where it was.
    if (!RunOnNewThread(CheckNewThreadStartsAtDefaultSeed))
        return 0;
    return DrawsFollowModel(&state, checkDraws) ? 1 : 0;
}

BOOL CALLBACK CheckPlatformOnce(PINIT_ONCE, void* result, void**)
{
    *static_cast<bool*>(result) = RunOnNewThread(CheckPlatformGenerator);
    return TRUE;
}

}    // namespace

uint32_t AdvanceGenerator(uint32_t state, uint64_t steps)
{
    const Jump jump = JumpOf(steps);
    return jump.multiplier * state + jump.increment;
}

bool ProcessorRuns(NoiseKernel kernel)
{
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    static unsigned kernels = 0;
    InitOnceExecuteOnce(&once, DetectKernelsOnce, &kernels, nullptr);
    return kernels & (1u << unsigned(kernel));
}

const char* NoiseKernelName(NoiseKernel kernel)
{
    switch (kernel) {
    case NoiseKernel::Sse2:
        return "SSE2";
    case NoiseKernel::Avx2:
        return "AVX2";
    case NoiseKernel::Avx512:
        return "AVX-512";
    }
    return "?";
}

NoiseKernel FastestNoiseKernel()
{
    // With eight vector registers the AVX-512 kernel stores and reloads most of its lanes
    // every round, and runs slower than AVX2 (orvix-bench shows both).
    constexpr bool eightVectorRegisters = sizeof(void*) == 4;
    const NoiseKernel allowed = NoiseKernel(fastestAllowedKernel);
    if (!eightVectorRegisters && allowed >= NoiseKernel::Avx512
        && ProcessorRuns(NoiseKernel::Avx512))
        return NoiseKernel::Avx512;
    return allowed >= NoiseKernel::Avx2 && ProcessorRuns(NoiseKernel::Avx2) ? NoiseKernel::Avx2
                                                                            : NoiseKernel::Sse2;
}

void LimitNoiseKernels(NoiseKernel fastest)
{
    InterlockedExchange(&fastestAllowedKernel, LONG(fastest));
}

uint32_t FillNoise(uint32_t state, BYTE* bytes, size_t count, NoiseKernel kernel)
{
    const size_t done = RunKernel(kernel, state, count, StoreBytes(bytes));
    return FillStepwise(AdvanceGenerator(state, done), bytes + done, count - done);
}

size_t MatchingNoiseBytes(uint32_t state, const BYTE* bytes, size_t count, NoiseKernel kernel)
{
    // The kernel stops at the start of the round that differs; the first byte that does
    // lies in that round or in the partial round after the whole ones.
    const size_t done = RunKernel(kernel, state, count, CompareBytes(bytes));
    return done + MatchStepwise(AdvanceGenerator(state, done), bytes + done, count - done);
}

bool PlatformGeneratorIsModelled()
{
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    static bool modelled = false;
    InitOnceExecuteOnce(&once, CheckPlatformOnce, &modelled, nullptr);
    return modelled;
}
