#include "ReliabilitySupport.h"

#include "ChildProcess.h"
#include "ModuleUnderTest.h"
#include "camera/FormatCatalogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

uint64_t RunFigure(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    return *end == '\0' ? value : fallback;
}

uint64_t SeededRandom::Next()
{
    // splitmix64: every seed, 0 included, gives a full-period sequence.
    uint64_t mixed = (state += 0x9E3779B97F4A7C15ULL);
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
    return mixed ^ (mixed >> 31);
}

uint64_t CaseSeed(uint64_t runSeed, uint64_t caseNumber)
{
    SeededRandom mixer(runSeed ^ (caseNumber * 0xD1B54A32D192ED03ULL));
    return mixer.Next();
}

namespace {

// Written by the test's threads, read only by the last-chance handler of a dying process.
char currentCase[512];
LPTOP_LEVEL_EXCEPTION_FILTER runtimeFilter = nullptr;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    std::fprintf(stderr, "\nexception 0x%08lX during: %s\n",
                 exception->ExceptionRecord->ExceptionCode, currentCase);
    std::fflush(stderr);
    return runtimeFilter ? runtimeFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

// Puts the report in front of the runtime's own last-chance handler.
struct CrashReport
{
    CrashReport() { runtimeFilter = SetUnhandledExceptionFilter(ReportCrash); }
};

}    // namespace

void NoteCurrentCase(const std::string& text)
{
    static const CrashReport installedWithTheFirstNote;
    std::snprintf(currentCase, sizeof(currentCase), "%s", text.c_str());
}

Watchdog::Watchdog(DWORD limitMs, std::function<std::string()> describeStuck)
    : limitMs(limitMs), describeStuck(std::move(describeStuck)),
      dismissed(CreateEventW(nullptr, TRUE, FALSE, nullptr)), thread([this] { Watch(); })
{
}

Watchdog::~Watchdog()
{
    SetEvent(dismissed.Get());
    thread.Join();
}

void Watchdog::Watch()
{
    if (WaitForSingleObject(dismissed.Get(), limitMs) == WAIT_OBJECT_0)
        return;
    std::fprintf(stderr, "\nstill running after %lu ms, giving up on the process: %s\n", limitMs,
                 describeStuck().c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

FrameCounter::FrameCounter() : arrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

HRESULT FrameCounter::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    const bool known = IsEqualIID(iid, IID_ISampleGrabberCB) || IsEqualIID(iid, IID_IUnknown);
    *out = known ? static_cast<ISampleGrabberCB*>(this) : nullptr;
    return known ? S_OK : E_NOINTERFACE;
}

HRESULT FrameCounter::SampleCB(double, IMediaSample*)
{
    InterlockedIncrement(&count);
    SetEvent(arrived.Get());
    return S_OK;
}

HRESULT FrameCounter::BufferCB(double, BYTE*, long)
{
    return E_NOTIMPL;
}

bool FrameCounter::WaitFor(LONG total, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (count < total) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        WaitForSingleObject(arrived.Get(), DWORD(deadline - now));
    }
    return true;
}

namespace {

// Handle values are multiples of 4 handed out from the lowest free one, so the open
// handles sit below the first long run of values that are not handles.
LONG CountOpenHandles()
{
    LONG count = 0;
    ULONG_PTR emptyRun = 0;
    for (ULONG_PTR value = 4; emptyRun < 4096; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            emptyRun = 0;
        } else {
            ++emptyRun;
        }
    }
    return count;
}

int64_t CommittedPrivateBytes()
{
    int64_t total = 0;
    MEMORY_BASIC_INFORMATION region = {};
    const BYTE* address = nullptr;
    while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += int64_t(region.RegionSize);
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

}    // namespace

ProcessFigures MeasureProcess()
{
    ProcessFigures figures;
    figures.handles = CountOpenHandles();
    figures.privateBytes = CommittedPrivateBytes();
    HANDLE heaps[256];
    const DWORD heapCount = GetProcessHeaps(256, heaps);
    for (DWORD index = 0; index < heapCount && index < 256; ++index) {
        if (!HeapLock(heaps[index]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[index], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                figures.heapBytes += entry.cbData;
                ++figures.heapBlocks;
            }
        }
        HeapUnlock(heaps[index]);
    }
    return figures;
}

bool HeapCheckingIsOn()
{
    return RunFigure("ORVIX_HEAP_CHECK", 0) == 1;
}

bool PassesInAChildWithoutHeapChecking()
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(test->test_suite_name()) + "." + test->name();
    const std::wstring line = L"\"" + std::wstring(program) + L"\" --gtest_filter="
                              + std::wstring(name.begin(), name.end());
    // The child inherits both; Wine reads its debug channels from the first as it starts.
    wchar_t channels[256] = {};
    GetEnvironmentVariableW(L"WINEDEBUG", channels, 256);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    SetEnvironmentVariableW(L"ORVIX_HEAP_CHECK", L"0");
    const ProgramResult child = RunProgram(line, INFINITE);
    SetEnvironmentVariableW(L"ORVIX_HEAP_CHECK", L"1");
    SetEnvironmentVariableW(L"WINEDEBUG", channels);
    std::printf("in a child without heap checking:\n%s", child.output.c_str());
    return child.finished && child.exitCode == 0;
}

std::string ReliabilityClassKey()
{
    wchar_t text[40] = {};
    StringFromGUID2(ReliabilityVariant.filterClassId, text, 40);
    return "Software\\Classes\\CLSID\\" + std::string(text, text + 38);
}

namespace {

// The owner may always rewrite a key's access list, however it was locked.
void OpenUpKey(const std::string& path)
{
    SetRegistryKeyAccess(HKEY_LOCAL_MACHINE, path, "D:(A;;KA;;;WD)");
}

}    // namespace

void RemoveReliabilityKeys()
{
    const std::string classKey = ReliabilityClassKey();
    OpenUpKey(classKey);
    OpenUpKey(classKey + "\\InprocServer32");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, classKey.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, classKey.c_str());
}

void FillSmallCatalogueType(CMediaTypeRecord* type)
{
    BuildListedMediaType(6, FirstFormatIndex, 30.0, type);
}
