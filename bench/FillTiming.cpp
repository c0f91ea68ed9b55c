#include "FillTiming.h"

#include "camera/TestCamera.h"
#include "framework/Ownership.h"
#include "verify/FrameVerifier.h"

#include <cstring>
#include <functional>

namespace {

constexpr int rounds = 5;
constexpr double roundMs = 60.0;

double NowMs()
{
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return double(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / ticksPerMs;
}

// The mean time of one call over a round of at least `roundMs` (and at least one call).
double RoundMsPerCall(const std::function<void()>& call)
{
    const double started = NowMs();
    double elapsed = 0;
    int calls = 0;
    do {
        call();
        ++calls;
        elapsed = NowMs() - started;
    } while (elapsed < roundMs);
    return elapsed / calls;
}

// The best of `rounds` rounds.
double BestMsPerCall(const std::function<void()>& call)
{
    double best = 0;
    for (int round = 0; round < rounds; ++round) {
        const double perCall = RoundMsPerCall(call);
        if (round == 0 || perCall < best)
            best = perCall;
    }
    return best;
}

// The best of `rounds` rounds of each call, their rounds taken in turn, so that other work
// on the machine weighs on both alike.
void BestMsPerCallInTurn(const std::function<void()>& first, const std::function<void()>& second,
                         double* firstMs, double* secondMs)
{
    for (int round = 0; round < rounds; ++round) {
        const double firstPerCall = RoundMsPerCall(first);
        const double secondPerCall = RoundMsPerCall(second);
        if (round == 0 || firstPerCall < *firstMs)
            *firstMs = firstPerCall;
        if (round == 0 || secondPerCall < *secondMs)
            *secondMs = secondPerCall;
    }
}

// Through a pointer the compiler cannot see through: every call is a real call of the
// runtime's memset, none folded into another.
void* (*volatile setMemory)(void*, int, size_t) = std::memset;

// A named function, not a lambda: in 32-bit code only it can have the platform's
// calling convention.
DWORD WINAPI RunWork(void* context)
{
    (*static_cast<const std::function<void()>*>(context))();
    return 0;
}

bool RunOnNewThread(const std::function<void()>& work)
{
    auto* context = const_cast<std::function<void()>*>(&work);
    UniqueHandle thread(CreateThread(nullptr, 0, RunWork, context, 0, nullptr));
    return thread.IsValid() && WaitForSingleObject(thread.Get(), INFINITE) == WAIT_OBJECT_0;
}

}    // namespace

double MemsetMsPerFrame(BYTE* buffer, size_t bytes)
{
    int value = 0;
    return BestMsPerCall([&] { setMemory(buffer, ++value & 0xFF, bytes); });
}

double KernelMsPerFrame(NoiseKernel kernel, BYTE* buffer, size_t bytes)
{
    uint32_t state = GeneratorDefaultSeed;
    return BestMsPerCall([&] { state = FillNoise(state, buffer, bytes, kernel); });
}

VerifyFigures VerifyMsPerFrame(int index, const FrameLayout& layout, BYTE* frame, BYTE* fillBuffer)
{
    VerifyFigures figures;
    FrameFormat format;
    if (!DescribeFrameFormat(index, &format))
        return figures;
    FrameVerifier verifier(format, format.pixelBytes);
    // A frame some way into the stream, verified where it is expected.
    const uint64_t number = 100;
    FillNoise(FrameStartState(format, number), frame, format.frameBytes, FastestNoiseKernel());
    figures.exact = verifier.Verify(frame, format.frameBytes, number).Exact();
    RunOnNewThread([&] {
        TestCamera camera;
        camera.ConfigureGeometry(layout.width, layout.height, layout.bitCount);
        camera.OnStreamStart();
        LONGLONG stampMs = 0;
        LONG durationMs = 0;
        BestMsPerCallInTurn([&] { camera.CaptureFrame(fillBuffer, &stampMs, &durationMs); },
                            [&] { verifier.Verify(frame, format.frameBytes, number); },
                            &figures.fillMsPerFrame, &figures.exactMsPerFrame);
    });
    setMemory(frame, 0, format.frameBytes);
    figures.unmatchedMsPerFrame =
        BestMsPerCall([&] { verifier.Verify(frame, format.frameBytes, number); });
    return figures;
}

FillFigures CaptureFrameMsPerFrame(const FrameLayout& layout, BYTE* buffer, bool startStream)
{
    FillFigures figures;
    RunOnNewThread([&] {
        TestCamera camera;
        camera.ConfigureGeometry(layout.width, layout.height, layout.bitCount);
        if (startStream)
            camera.OnStreamStart();
        LONGLONG stampMs = 0;
        LONG durationMs = 0;
        figures.msPerFrame =
            BestMsPerCall([&] { camera.CaptureFrame(buffer, &stampMs, &durationMs); });
        figures.fromModel = camera.NoiseFromModel();
    });
    return figures;
}
