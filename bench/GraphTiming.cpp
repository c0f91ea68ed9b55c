#include "GraphTiming.h"

#include "CaptureGraph.h"
#include "filter/CCapSrc.h"
#include "filter/CCapSrcStream.h"
#include "filter/FilterVariant.h"
#include "framework/Locks.h"
#include "framework/Ownership.h"
#include "verify/FrameVerifier.h"
#include "verify/VerificationReport.h"

#include <dshow.h>
#include <psapi.h>
#include <qedit.h>

#include <cstdlib>
#include <memory>

namespace {

// The benchmark's own identifiers, so that it reads no variant's stored settings. It
// stores none: the format is chosen through IAMStreamConfig, which persists nothing.
const FilterVariant BenchVariant = {
    L"Orvix61 Benchmark Source",
    {0x4F2B7A10, 0x3C1E, 0x4E59, {0xA2, 0x6D, 0x71, 0x0B, 0x93, 0x5E, 0xC4, 0x10}},
    {0x4F2B7A11, 0x3C1E, 0x4E59, {0xA2, 0x6D, 0x71, 0x0B, 0x93, 0x5E, 0xC4, 0x10}},
    {0x4F2B7A12, 0x3C1E, 0x4E59, {0xA2, 0x6D, 0x71, 0x0B, 0x93, 0x5E, 0xC4, 0x10}},
    {0x4F2B7A13, 0x3C1E, 0x4E59, {0xA2, 0x6D, 0x71, 0x0B, 0x93, 0x5E, 0xC4, 0x10}},
    {0x4F2B7A14, 0x3C1E, 0x4E59, {0xA2, 0x6D, 0x71, 0x0B, 0x93, 0x5E, 0xC4, 0x10}},
};

// A frame that does not come within this long means the graph has stopped.
constexpr DWORD frameTimeoutMs = 30000;

LONGLONG CounterFrequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

LONGLONG CounterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// User and kernel time of every thread of the process, in 100 ns units.
ULONGLONG ProcessCpu()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    const auto units = [](const FILETIME& time) {
        return (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return units(kernel) + units(user);
}

// The private memory committed for the process. Windows reports it twice, as the commit
// charge and as PrivateUsage; Wine fills in only the commit charge.
SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return 0;
    return counters.PagefileUsage;
}

// Counts frames on the streaming thread and takes the readings at the frames that
// matter: the first (the clocks start), the 100th and 1000th (memory) and the last, once
// enough frames and enough time have passed. The process's CPU time moves in ticks of
// 10 ms under Wine, so a run lasts long enough for a tick to matter little.
// Locking
//   None: the count changes by interlocked increments; only the streaming thread writes
//   the readings and uses the verifier and its report, and the benchmark reads them after
//   `done` is signalled.
class FrameCounter : public ISampleGrabberCB
{
public:
    FrameCounter(int leastFrames, double leastSeconds, GrabberWork work, const FrameFormat& format)
        : leastFrames(leastFrames), leastTicks(LONGLONG(leastSeconds * double(CounterFrequency()))),
          work(work), verifier(format, format.pixelBytes), report(true),
          done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
    }

    // The counter outlives the graph that calls it, so the grabber's references own
    // nothing.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_ISampleGrabberCB) || IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override
    {
        if (finished)
            return S_OK;
        const LONG frame = InterlockedIncrement(&count);
        if (work == GrabberWork::DrawFromRand)
            rand();
        BYTE* buffer = nullptr;
        if (work == GrabberWork::Verify && SUCCEEDED(sample->GetPointer(&buffer)))
            report.Add(verifier.Verify(buffer, size_t(sample->GetActualDataLength()),
                                       report.ExpectedNext()),
                       FramePlace{});
        if (frame == 1) {
            // The first query of the process's memory on a thread costs Wine a page of its
            // own: make it now, so that the frame loop is not charged for it.
            PrivateBytes();
            firstCounter = CounterNow();
            firstCpu = ProcessCpu();
        }
        if (frame == 100)
            privateBytesAfter100 = PrivateBytes();
        if (frame == 1000)
            privateBytesAfter1000 = PrivateBytes();
        const LONGLONG now = CounterNow();
        if (frame >= leastFrames && now - firstCounter >= leastTicks) {
            lastCounter = now;
            lastCpu = ProcessCpu();
            frames = frame;
            finished = true;
            SetEvent(done.Get());
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

    // Waits for the last frame; false when frames stop coming.
    bool WaitForAll()
    {
        LONG seen = -1;
        while (WaitForSingleObject(done.Get(), frameTimeoutMs) != WAIT_OBJECT_0) {
            const LONG now = InterlockedCompareExchange(&count, 0, 0);
            if (now == seen)
                return false;
            seen = now;
        }
        return true;
    }

    const LONG leastFrames;
    const LONGLONG leastTicks;
    const GrabberWork work;
    // The streaming thread's, like the readings.
    FrameVerifier verifier;
    VerificationReport report;
    volatile LONG count = 0;
    bool finished = false;    // the streaming thread's own
    LONG frames = 0;
    LONGLONG firstCounter = 0, lastCounter = 0;
    ULONGLONG firstCpu = 0, lastCpu = 0;
    SIZE_T privateBytesAfter100 = 0, privateBytesAfter1000 = 0;

private:
    UniqueHandle done;
};

}    // namespace

GraphFigures RunThroughGraph(int capability, int leastFrames, double leastSeconds, GrabberWork work)
{
    GraphFigures figures;
    HRESULT hr = S_OK;
    std::unique_ptr<CUnknown> made(CreateCapSrc(nullptr, &hr, BenchVariant));
    if (!made || FAILED(hr)) {
        figures.result = made ? hr : E_OUTOFMEMORY;
        figures.failedStep = "creating the capture filter";
        return figures;
    }
    auto* capture = static_cast<CCapSrc*>(made.release());
    ComPtr<IBaseFilter> filter(static_cast<IBaseFilter*>(capture));
    FrameFormat format;
    DescribeFrameFormat(capability, &format);
    FrameCounter counter(leastFrames, leastSeconds, work, format);
    {
        CaptureGraph graph;
        if (FAILED(figures.result =
                       graph.Build(filter.Get(), BenchVariant.displayName, &figures.failedStep))
            || FAILED(figures.result = graph.Connect(capability, &figures.failedStep)))
            return figures;
        if (FAILED(figures.result = graph.Run(&counter))) {
            figures.failedStep = "running the graph";
            graph.Stop();
            return figures;
        }
        const bool allCame = counter.WaitForAll();
        graph.Stop();
        if (!allCame) {
            figures.result = E_FAIL;
            figures.failedStep = "waiting for frames (they stopped coming)";
            return figures;
        }
    }
    // The clocks start once the first frame is through, so they time the frames after it.
    const double seconds =
        double(counter.lastCounter - counter.firstCounter) / double(CounterFrequency());
    const int timed = counter.frames - 1;
    figures.frames = counter.frames;
    figures.framesPerSecond = seconds > 0 ? timed / seconds : 0;
    figures.cpuMsPerFrame =
        timed > 0 ? double(counter.lastCpu - counter.firstCpu) / 10000.0 / timed : 0;
    figures.privateBytesAfter100 = counter.privateBytesAfter100;
    figures.privateBytesAfter1000 = counter.privateBytesAfter1000;
    figures.fromModel = static_cast<CCapSrcStream*>(capture->PinAt(0))->Camera().NoiseFromModel();
    figures.verifiedExact = counter.report.AllExactAndConsecutive();
    return figures;
}
