#pragma once
// A model of the platform runtime's rand(): one linear congruential generator per thread,
// each value being bits 16..30 of the state its step leaves. The camera fills frames from
// the model many steps at a time and so stores the very bytes that one rand() call per
// byte would store, at close to the speed of writing the memory. Every function here is
// free of shared state except the two processor and platform checks, which run once per
// process, and the bound a benchmark may set on the kernels.
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Where the generator of a thread that has never drawn starts.
constexpr uint32_t GeneratorDefaultSeed = 1;

constexpr uint32_t GeneratorStep(uint32_t state)
{
    return state * 214013u + 2531011u;
}

// What rand() returns when its step has left the generator in `state`.
constexpr int GeneratorValue(uint32_t state)
{
    return int((state >> 16) & 0x7FFF);
}

// The frame byte made of one generator value: the low byte of the value shifted by 6.
constexpr BYTE NoiseByte(int value)
{
    return BYTE((value >> 6) & 0xFF);
}

// The state `steps` steps after `state`.
uint32_t AdvanceGenerator(uint32_t state, uint64_t steps);

// Draws that must all agree with the model before its state counts as certain. Values
// depend only on the low 31 bits of the state, and two states that differ there give
// different values within this many draws.
constexpr int ConfirmingDraws = 3;

enum class NoiseKernel
{
    Sse2,    // every x86-64 processor has it; the x86 build requires it
    Avx2,
    Avx512,    // AVX-512 F, BW and VBMI
};

// The kernel's name as reports print it: "SSE2", "AVX2" or "AVX-512".
const char* NoiseKernelName(NoiseKernel kernel);

// The processor has the kernel's instructions and the system keeps their registers
// across thread switches.
bool ProcessorRuns(NoiseKernel kernel);
// The fastest kernel the processor runs: AVX-512 in x86-64 code, never in 32-bit code;
// none faster than the bound LimitNoiseKernels set.
NoiseKernel FastestNoiseKernel();

// From now on in this process FastestNoiseKernel answers no kernel faster than `fastest`
// (by NoiseKernel order), so that the camera and the frame verifier run as on a processor
// without the faster ones: orvix-bench --kernel. Set it before anything makes a frame.
void LimitNoiseKernels(NoiseKernel fastest);

// Stores NoiseByte of the generator value i + 1 steps after `state` into bytes[i], for
// each i below `count`, and returns the state `count` steps after `state`. Every kernel
// stores the same bytes; a kernel the processor does not run is replaced by SSE2.
uint32_t FillNoise(uint32_t state, BYTE* bytes, size_t count, NoiseKernel kernel);

// How many of the `count` bytes from `bytes` on hold what FillNoise from `state` would
// store, before the first that differs: `count` when all of them do. The kernels make the
// model's bytes and compare them as they go, reading `bytes` once, up to the first
// difference, and writing nothing. Every kernel answers alike.
size_t MatchingNoiseBytes(uint32_t state, const BYTE* bytes, size_t count, NoiseKernel kernel);

// True when this process's rand() is the model: a new thread starts from the default
// seed, the values follow the step, srand keeps the state it is given, and each thread
// has a generator of its own. Checked once, on short-lived threads of its own, so that
// no caller's generator is disturbed.
bool PlatformGeneratorIsModelled();
