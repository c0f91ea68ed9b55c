#pragma once
// Holds a thread of the code under test at one point until the test lets it go, and lets
// the test wait until it is held there: a call order made certain without sleeping.
#include "framework/Ownership.h"

#include <windows.h>

class Gate
{
public:
    Gate()
        : held(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          opened(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
    }

    // The next thread to pass is held until Open.
    void Arm() { InterlockedExchange(&armed, 1); }

    // Called by the code under test; true when this thread was the one held.
    bool Pass()
    {
        if (InterlockedExchange(&armed, 0) == 0)
            return false;
        SetEvent(held.Get());
        WaitForSingleObject(opened.Get(), INFINITE);
        return true;
    }

    bool WaitUntilHeld(DWORD timeoutMs = 20000)
    {
        return WaitForSingleObject(held.Get(), timeoutMs) == WAIT_OBJECT_0;
    }

    // Lets the held thread go on; a gate that was never passed lets the next one through.
    void Open()
    {
        InterlockedExchange(&armed, 0);
        SetEvent(opened.Get());
    }

private:
    UniqueHandle held;
    UniqueHandle opened;
    volatile LONG armed = 0;
};
