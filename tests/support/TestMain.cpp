// Entry point of every test program. The page tests find their dialog templates and
// strings in the test program itself, so the module handle is the program's.
#include "framework/ModuleState.h"
#include "framework/Ownership.h"

#include <gtest/gtest.h>

namespace {

// What Wine raises when its heap checking finds a damaged block.
constexpr DWORD WineAssertion = 0x80000101;

LPTOP_LEVEL_EXCEPTION_FILTER runtimeFilter = nullptr;

// Ends the program at once when heap checking finds damage. Wine would start a debugger,
// and starting one allocates from the damaged heap: the check fires again and the program
// hangs, holding the test run until its timeout. The heap is not to be trusted here, so
// the message is written without allocating. Any other exception goes on to the runtime's
// handler and the debugger, whose backtrace is worth having.
LONG WINAPI EndOnHeapDamage(EXCEPTION_POINTERS* exception)
{
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    if (code != WineAssertion && code != STATUS_ASSERTION_FAILURE)
        return runtimeFilter ? runtimeFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
    static const char message[] = "heap checking found damage; ending the test program\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof(message) - 1, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

}    // namespace

int main(int argc, char** argv)
{
    runtimeFilter = SetUnhandledExceptionFilter(EndOnHeapDamage);
    moduleHandle = GetModuleHandleW(nullptr);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version))
        platformId = version.dwPlatformId;
    // Apartment-threaded, as a property frame and a capture program's UI thread are.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
