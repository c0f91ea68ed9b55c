#include "ChildProcess.h"

#include "NewThread.h"
#include "framework/Ownership.h"

#include <vector>

ProgramResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs)
{
    ProgramResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return result;
    UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writer.Get();
    startup.hStdError = writer.Get();
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return result;
    result.started = true;
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    // Only the child may hold the write end now, so the reader sees the end of its output.
    writer.Reset();

    NewThread collect([&] {
        char chunk[4096];
        DWORD read = 0;
        while (ReadFile(reader.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
            result.output.append(chunk, read);
    });
    result.finished = WaitForSingleObject(processHandle.Get(), timeoutMs) == WAIT_OBJECT_0;
    if (!result.finished)
        TerminateProcess(processHandle.Get(), 1);
    collect.Join();
    GetExitCodeProcess(processHandle.Get(), &result.exitCode);
    return result;
}

std::wstring DosPath(const char* hostPath)
{
    std::wstring path = L"Z:";
    for (const char* character = hostPath; *character; ++character)
        path += *character == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*character));
    return path;
}

ProgramResult RunToolAt(const char* hostPath, const std::wstring& arguments)
{
    ProgramResult run = RunProgram(L"\"" + DosPath(hostPath) + L"\" " + arguments);
    std::string output;
    for (char character : run.output)
        if (character != '\r')
            output += character;
    run.output = output;
    return run;
}
