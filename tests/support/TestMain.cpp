// Entry point of every test program. The page tests find their dialog templates and
// strings in the test program itself, so the module handle is the program's.
#include "framework/ModuleState.h"
#include "framework/Ownership.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    moduleHandle = GetModuleHandleW(nullptr);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version))
        platformId = version.dwPlatformId;
    // Apartment-threaded, as a property frame and a capture program's UI thread are.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
