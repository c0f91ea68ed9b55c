#pragma once
// Runs a piece of a test on a thread of its own. The runtime keeps one rand() generator
// per thread and starts a new thread's at the default seed, so work done this way sees
// the generator exactly as a capture pin's new worker thread does. The thread joins no
// apartment; work that calls objects makes a ComApartment of its own.
#include "framework/Ownership.h"

#include <windows.h>

#include <functional>
#include <utility>

// Starts at construction; destruction waits for the thread to end.
class NewThread
{
public:
    explicit NewThread(std::function<void()> work)
        : work(std::move(work)), thread(CreateThread(nullptr, 0, Entry, this, 0, nullptr))
    {
    }
    NewThread(const NewThread&) = delete;
    NewThread& operator=(const NewThread&) = delete;
    ~NewThread() { Join(); }

    // True once the thread has ended; false when it could not be made, or when it is
    // still running after `limitMs`.
    bool Join(DWORD limitMs = INFINITE)
    {
        return thread.IsValid() && WaitForSingleObject(thread.Get(), limitMs) == WAIT_OBJECT_0;
    }

private:
    static DWORD WINAPI Entry(void* self)
    {
        static_cast<NewThread*>(self)->work();
        return 0;
    }

    const std::function<void()> work;    // set before the thread starts
    UniqueHandle thread;
};

// False when the thread could not be made or waited for.
inline bool RunOnNewThread(std::function<void()> work)
{
    return NewThread(std::move(work)).Join();
}
