#pragma once
// The order in which fakes and test objects were called, across threads.
#include <windows.h>
#include <string>
#include <vector>
#include "framework/Locks.h"

class CallLog
{
public:
    void Add(const std::string& call)
    {
        ScopedLock hold(lock);
        calls.push_back(call);
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

private:
    CriticalSection lock;
    std::vector<std::string> calls;
};

// Logs into `log` when there is one.
inline void LogCall(CallLog* log, const char* call)
{
    if (log)
        log->Add(call);
}
