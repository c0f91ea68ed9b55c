#pragma once
// Runs a piece of a test on a thread of its own. The runtime keeps one rand() generator
// per thread and starts a new thread's at the default seed, so work done this way sees
// the generator exactly as a capture pin's new worker thread does.
#include "framework/Ownership.h"

#include <windows.h>

#include <functional>

// False when the thread could not be made or waited for.
inline bool RunOnNewThread(const std::function<void()>& work)
{
    auto entry = [](void* context) -> DWORD {
        (*static_cast<const std::function<void()>*>(context))();
        return 0;
    };
    auto* context = const_cast<std::function<void()>*>(&work);
    UniqueHandle thread(CreateThread(nullptr, 0, entry, context, 0, nullptr));
    return thread.IsValid() && WaitForSingleObject(thread.Get(), INFINITE) == WAIT_OBJECT_0;
}
