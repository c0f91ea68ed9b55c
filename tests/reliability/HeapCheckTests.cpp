// The heap-checked test run is worth its time only if it catches real damage and ends
// the damaged program promptly. A child of this program writes past the end of a heap
// block, as code overrunning a buffer would.
#include "ChildProcess.h"
#include "ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD ChildLimitMs = 60000;

std::string Tail(const std::string& text)
{
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

}    // namespace

TEST(HeapChecking, ABlockWrittenPastItsEndIsReportedAndEndsTheProgram)
{
    if (!HeapCheckingIsOn())
        GTEST_SKIP() << "heap checking is off; scripts/test.sh turns it on";
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    // Wine writes its messages where the test program's own go, into the run's heap log,
    // which must stay empty: the child checks its heap as every test does but keeps its
    // error messages to itself. What it prints of its own comes back here.
    wchar_t channels[256] = {};
    GetEnvironmentVariableW(L"WINEDEBUG", channels, 256);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,trace+heap");
    const ProgramResult child =
        RunProgram(L"\"" + std::wstring(program)
                       + L"\" --gtest_also_run_disabled_tests"
                         L" --gtest_filter=HeapChecking.DISABLED_WritesPastTheEndOfABlock",
                   ChildLimitMs);
    SetEnvironmentVariableW(L"WINEDEBUG", channels);
    ASSERT_TRUE(child.started);
    EXPECT_TRUE(child.finished) << "the damaged program did not end\n" << Tail(child.output);
    EXPECT_NE(child.exitCode, 0u);
    EXPECT_NE(child.output.find("heap checking found damage"), std::string::npos)
        << Tail(child.output);
    EXPECT_EQ(child.output.find("[       OK ]"), std::string::npos) << Tail(child.output);
}

// Run only as the child above.
TEST(HeapChecking, DISABLED_WritesPastTheEndOfABlock)
{
    static volatile SIZE_T size = 24;
    HANDLE heap = GetProcessHeap();
    volatile unsigned char* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, size));
    ASSERT_NE(block, nullptr);
    for (SIZE_T i = 0; i < size + 16; ++i)
        block[i] = 0x55;
    HeapFree(heap, 0, const_cast<unsigned char*>(block));
    // Any allocation checks the heap again.
    HeapFree(heap, 0, HeapAlloc(heap, 0, 64));
}
