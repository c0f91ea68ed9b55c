#pragma once
// What the reliability tests share: how big a run is, reproducible random numbers, a note
// that a crash prints so that the case can be replayed, a watchdog that turns a hang into
// a failed run, the figures a leak would show in, and the filter variant whose registry
// keys these tests own.
#include "NewThread.h"
#include "filter/FilterVariant.h"
#include "framework/MediaType.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdint>
#include <functional>
#include <string>

// A figure from the environment (scripts/reliability.sh sets them for its long runs), or
// `fallback` when the variable is unset or not a whole number.
uint64_t RunFigure(const char* name, uint64_t fallback);

// Pseudo-random numbers of their own, apart from rand(), which the camera's noise draws on.
class SeededRandom
{
public:
    explicit SeededRandom(uint64_t seed) : state(seed) {}

    uint64_t Next();
    // 0 to bound - 1; bound is not 0.
    uint32_t Below(uint32_t bound) { return uint32_t(Next() % bound); }
    bool Percent(uint32_t chance) { return Below(100) < chance; }
    template <class T, size_t N>
    const T& Pick(const T (&choices)[N])
    {
        return choices[Below(N)];
    }

private:
    uint64_t state;
};

// Mixes a run's seed with a case number, so that any one case can be made again alone.
uint64_t CaseSeed(uint64_t runSeed, uint64_t caseNumber);

// The case in hand, printed if the process dies of an exception nobody handles, so that a
// crash in a long run still says how to replay it. Empty text clears it.
void NoteCurrentCase(const std::string& text);

// Ends the whole process with a message when it is not dismissed within `limitMs`: a hang
// shows as a failed test that says what was stuck, not as a run that never ends.
class Watchdog
{
public:
    Watchdog(DWORD limitMs, std::function<std::string()> describeStuck);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void Watch();

    const DWORD limitMs;
    const std::function<std::string()> describeStuck;
    UniqueHandle dismissed;
    NewThread thread;    // made last: it watches the fields above
};

// Counts the samples that pass the Sample Grabber without keeping anything of them, so
// that a run of any length costs no memory.
class FrameCounter : public ISampleGrabberCB
{
public:
    FrameCounter();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }    // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double time, BYTE* buffer, long length) override;

    LONG Count() const { return count; }
    // Waits until `total` samples have passed in all, at most `timeoutMs`.
    bool WaitFor(LONG total, DWORD timeoutMs = 20000);

private:
    volatile LONG count = 0;
    UniqueHandle arrived;
};

// What the process holds: open handles, committed private memory (thread stacks, sample
// buffers and heaps included) and the blocks in use on every heap.
struct ProcessFigures
{
    LONG handles = 0;
    int64_t privateBytes = 0;
    int64_t heapBytes = 0;
    int64_t heapBlocks = 0;
};
ProcessFigures MeasureProcess();

// Whether Wine's heap checking is on (scripts/test.sh turns it on for every test).
bool HeapCheckingIsOn();
// Wine's checking heap holds freed blocks back and makes every allocation wait for a walk
// of the heap: memory figures and the interleaving of threads mean little under it. Runs
// the test in hand in a child of this program with heap checking off, passes on what the
// child printed, and answers whether it passed.
bool PassesInAChildWithoutHeapChecking();

// A capture filter variant of these tests alone; its settings live in keys of its own.
inline const FilterVariant ReliabilityVariant = {
    L"Reliability Test Variant",
    {0x5F0A7E01, 0x2C3B, 0x4D8E, {0x9A, 0x61, 0x0B, 0x7C, 0x3E, 0x5D, 0x4F, 0x10}},
    {0x5F0A7E02, 0x2C3B, 0x4D8E, {0x9A, 0x61, 0x0B, 0x7C, 0x3E, 0x5D, 0x4F, 0x10}},
    {0x5F0A7E03, 0x2C3B, 0x4D8E, {0x9A, 0x61, 0x0B, 0x7C, 0x3E, 0x5D, 0x4F, 0x10}},
    {0x5F0A7E04, 0x2C3B, 0x4D8E, {0x9A, 0x61, 0x0B, 0x7C, 0x3E, 0x5D, 0x4F, 0x10}},
    {0x5F0A7E05, 0x2C3B, 0x4D8E, {0x9A, 0x61, 0x0B, 0x7C, 0x3E, 0x5D, 0x4F, 0x10}},
};
// "Software\Classes\CLSID\{...}" of the variant's filter, under HKEY_LOCAL_MACHINE.
std::string ReliabilityClassKey();
// Removes the variant's class key with all it holds, whatever access it was left with.
void RemoveReliabilityKeys();

// A 512 x 384 RGB24 type of the catalogue, the smallest frames the camera makes.
void FillSmallCatalogueType(CMediaTypeRecord* type);
