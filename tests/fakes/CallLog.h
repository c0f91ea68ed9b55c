#pragma once
// The order in which fakes and test objects were called, across threads, and the calls a
// test has armed to fail.
#include "framework/Locks.h"
#include "framework/Ownership.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

class CallLog
{
public:
    void Add(const std::string& call)
    {
        {
            ScopedLock hold(lock);
            calls.push_back(call);
        }
        SetEvent(added.Get());
    }
    // Waits until `call` has been logged, at most `timeoutMs`; false when it was not.
    bool WaitFor(const std::string& call, DWORD timeoutMs = 20000)
    {
        const DWORD started = GetTickCount();
        while (Count(call) == 0) {
            const DWORD spent = GetTickCount() - started;
            if (spent >= timeoutMs)
                return false;
            WaitForSingleObject(added.Get(), timeoutMs - spent);
        }
        return true;
    }
    // Where `call` was first logged, or the number of calls when it was not.
    size_t PositionOf(const std::string& call)
    {
        ScopedLock hold(lock);
        size_t position = 0;
        while (position < calls.size() && calls[position] != call)
            ++position;
        return position;
    }
    std::vector<std::string> Calls()
    {
        ScopedLock hold(lock);
        return calls;
    }
    void Clear()
    {
        ScopedLock hold(lock);
        calls.clear();
    }
    size_t Count(const std::string& call)
    {
        ScopedLock hold(lock);
        size_t count = 0;
        for (const auto& entry : calls)
            count += entry == call;
        return count;
    }

    // Makes the next `times` calls named `call` fail with `failure`. The fakes name their
    // calls as they log them ("peer.ReceiveConnection", "peerAllocator.Commit").
    void FailNext(const std::string& call, HRESULT failure, LONG times = 1)
    {
        ScopedLock hold(lock);
        armed[call] = ArmedFault{failure, times};
    }
    // The failure armed for `call`, used up one call at a time; S_OK when none is left.
    HRESULT TakeFault(const std::string& call)
    {
        ScopedLock hold(lock);
        auto fault = armed.find(call);
        if (fault == armed.end() || fault->second.times == 0)
            return S_OK;
        --fault->second.times;
        return fault->second.failure;
    }
    // How many armed failures of `call` have not happened yet.
    LONG FaultsLeft(const std::string& call)
    {
        ScopedLock hold(lock);
        auto fault = armed.find(call);
        return fault == armed.end() ? 0 : fault->second.times;
    }

private:
    struct ArmedFault
    {
        HRESULT failure;
        LONG times;
    };

    CriticalSection lock;
    UniqueHandle added{CreateEventW(nullptr, FALSE, FALSE, nullptr)};    // after every Add
    std::vector<std::string> calls;
    std::map<std::string, ArmedFault> armed;
};

// Logs into `log` when there is one.
inline void LogCall(CallLog* log, const char* call)
{
    if (log)
        log->Add(call);
}

// The failure armed for `call` in `log`, if there is a log; S_OK otherwise.
inline HRESULT ArmedFault(CallLog* log, const std::string& call)
{
    return log ? log->TakeFault(call) : S_OK;
}
