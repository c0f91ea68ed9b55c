#pragma once
// Runs another Windows program (regsvr32, the capture tool) in the test's Wine prefix and
// collects what it printed, for tests that judge a program by its exit code and output.
#include <windows.h>

#include <string>

struct ProgramResult
{
    bool started = false;     // false: the program could not be started at all
    bool finished = false;    // false: it outlived the time allowed and was ended
    DWORD exitCode = 0;
    std::string output;    // standard output and standard error, as they arrived
};

ProgramResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 120000);

// The DOS form of a path on the build machine (Wine's drive Z: is its root).
std::wstring DosPath(const char* hostPath);

// Runs one of our tools, built at `hostPath`, with `arguments`, and gives its output with
// line ends as "\n": the runtime writes "\r\n" to a pipe.
ProgramResult RunToolAt(const char* hostPath, const std::wstring& arguments);
