#include "framework/ModuleState.h"

// Runs under the loader lock: record what later calls need and nothing more.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        platformId = 1;
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        if (GetVersionExA(&version))
            platformId = version.dwPlatformId;
        moduleHandle = instance;
    }
    return TRUE;
}
