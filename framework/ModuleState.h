#pragma once
#include <windows.h>

// Module-wide state. The counters change only through Interlocked* from any thread;
// moduleHandle and platformId are written once by DllMain before any object exists.
extern volatile LONG ObjectCount;        // live CBaseObjects, half-built ones included
extern volatile LONG ServerLockCount;    // IClassFactory::LockServer balance
extern HINSTANCE moduleHandle;           // where dialogs, strings and the module path come from
extern DWORD platformId;                 // VER_PLATFORM_WIN32_NT (2) on every platform we meet
