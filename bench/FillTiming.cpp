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

// The mean time of one call over a round of at least `roundMs` (and at least one call),
// the best of `rounds` rounds.
double BestMsPerCall(const std::function<void()>& call)
{
    double best = 0;
    for (int round = 0; round < rounds; ++round) {
        const double started = NowMs();
        double elapsed = 0;
        int calls = 0;
        do {
            call();
            ++calls;
            elapsed = NowMs() - started;
        } while (elapsed < roundMs);
        const double perCall = elapsed / calls;
        if (round == 0 || perCall < best)
            best = perCall;
    }
    return best;
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

VerifyFigures VerifyMsPerFrame(int index, BYTE* buffer)
{
    VerifyFigures figures;
    FrameFormat format;
    if (!DescribeFrameFormat(index, &format))
        return figures;
    FrameVerifier verifier(format, format.pixelBytes);
    // A frame some way into the stream, verified where it is expected.
    const uint64_t number = 100;
    FillNoise(FrameStartState(format, number), buffer, format.frameBytes, FastestNoiseKernel());
    figures.exact = verifier.Verify(buffer, format.frameBytes, number).Exact();
    figures.exactMsPerFrame =
        BestMsPerCall([&] { verifier.Verify(buffer, format.frameBytes, number); });
    setMemory(buffer, 0, format.frameBytes);
    figures.unmatchedMsPerFrame =
        BestMsPerCall([&] { verifier.Verify(buffer, format.frameBytes, number); });
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
