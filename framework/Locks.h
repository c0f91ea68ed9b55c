#pragma once
#include <windows.h>

// A recursive lock: the thread that holds it may enter again.
class CriticalSection
{
public:
    CriticalSection() { InitializeCriticalSection(&section); }
    ~CriticalSection() { DeleteCriticalSection(&section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&section); }
    void Leave() { LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION section;
};

// Holds a critical section for the life of a scope.
class ScopedLock
{
public:
    explicit ScopedLock(CriticalSection& held) : lock(held) { lock.Enter(); }
    ~ScopedLock() { lock.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& lock;
};
