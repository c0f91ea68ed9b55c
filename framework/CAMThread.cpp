#include "CAMThread.h"

#include <objbase.h>

CAMThread::CAMThread()
    : commandEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      doneEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

CAMThread::~CAMThread()
{
    JoinWorker();
}

bool CAMThread::StartWorker()
{
    ScopedLock hold(callerLock);
    if (threadHandle || !HasEvents())
        return false;
    threadHandle = CreateThread(nullptr, 0, WorkerEntry, this, 0, nullptr);
    return threadHandle != nullptr;
}

HRESULT CAMThread::SendCommand(int newCommand)
{
    ScopedLock hold(callerLock);
    if (!threadHandle)
        return E_FAIL;
    command = newCommand;
    SetEvent(commandEvent.Get());
    // A worker that has already ended will never answer: do not wait for it forever.
    const HANDLE answers[] = {doneEvent.Get(), threadHandle};
    if (WaitForMultipleObjects(2, answers, FALSE, INFINITE) != WAIT_OBJECT_0) {
        ResetEvent(commandEvent.Get());
        return E_FAIL;
    }
    return commandResult;
}

void CAMThread::JoinWorker()
{
    UniqueHandle thread(InterlockedExchangePointer(const_cast<HANDLE*>(&threadHandle), nullptr));
    if (thread.IsValid())
        WaitForSingleObject(thread.Get(), INFINITE);
}

int CAMThread::NextCommand()
{
    WaitForSingleObject(commandEvent.Get(), INFINITE);
    return command;
}

bool CAMThread::PeekCommand(int* pending)
{
    if (WaitForSingleObject(commandEvent.Get(), 0) != WAIT_OBJECT_0)
        return false;
    if (pending)
        *pending = command;
    return true;
}

bool CAMThread::WaitForCommand(DWORD timeoutMs, HANDLE wake)
{
    const HANDLE events[] = {commandEvent.Get(), wake};
    return WaitForMultipleObjects(wake ? 2 : 1, events, FALSE, timeoutMs) != WAIT_TIMEOUT;
}

void CAMThread::CompleteCommand(HRESULT result)
{
    commandResult = result;
    ResetEvent(commandEvent.Get());
    SetEvent(doneEvent.Get());
}

DWORD WINAPI CAMThread::WorkerEntry(void* thread)
{
    // The worker joins the multithreaded apartment for as long as it runs, so that it may
    // call the objects it delivers to whatever apartment they were made in.
    const ComApartment apartment(COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE);
    return static_cast<CAMThread*>(thread)->WorkerMain();
}
