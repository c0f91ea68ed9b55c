#include "ModuleState.h"

volatile LONG ObjectCount = 0;
volatile LONG ServerLockCount = 0;
HINSTANCE moduleHandle = nullptr;
DWORD platformId = 1;
