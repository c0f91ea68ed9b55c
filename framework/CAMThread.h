#pragma once
// A worker thread with a one-command-at-a-time request channel: a sender posts a command
// and blocks until the worker completes it.
#include "Locks.h"
#include "Ownership.h"

#include <windows.h>

// Locking
//   callerLock: held by a sender from posting a command until its result is read, and
//   by StartWorker; a second sender waits.
//   threadHandle changes only by atomic exchange, so one caller joins and closes it.
class CAMThread
{
public:
    CAMThread();
    // Joins a worker that still runs.
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // True only when a thread was created by this call.
    bool StartWorker();
    bool HasWorker() const { return threadHandle != nullptr; }
    // Posts `command` and waits for the worker's result; E_FAIL without a worker, or
    // when the worker has ended without answering.
    HRESULT SendCommand(int command);
    // Waits until the worker has ended, then forgets it.
    void JoinWorker();

protected:
    // Worker side. A command stays pending until CompleteCommand.
    int NextCommand();
    bool PeekCommand(int* pending);
    // Waits up to `timeoutMs` for a command to come, or for `wake` when one is given; true
    // when either came first. The command stays pending.
    bool WaitForCommand(DWORD timeoutMs, HANDLE wake = nullptr);
    void CompleteCommand(HRESULT result);
    // Whether both events exist; a worker cannot run without them.
    bool HasEvents() const { return commandEvent.IsValid() && doneEvent.IsValid(); }

    // The worker's procedure; its result is the thread's exit code.
    virtual DWORD WorkerMain() = 0;

private:
    static DWORD WINAPI WorkerEntry(void* thread);

    UniqueHandle commandEvent;    // manual reset: signalled while a command is pending
    UniqueHandle doneEvent;       // auto reset: one completion frees one sender
    volatile LONG command = 0;
    volatile LONG commandResult = S_OK;
    HANDLE volatile threadHandle = nullptr;
    CriticalSection callerLock;
};
