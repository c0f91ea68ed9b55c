#pragma once
// The video input devices the platform enumerates, and whether the Orvix61 module that
// provides four of them is registered.
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

struct VideoDevice
{
    std::wstring name;
    ComPtr<IMoniker> moniker;
};

// In the platform's order; an empty category is no failure.
HRESULT ListVideoDevices(std::vector<VideoDevice>* devices);

// True when any of the four Orvix61 capture filters has an in-process server registered.
bool OrvixModuleRegistered();
// True for the names the Orvix61 module gives its devices.
bool IsOrvixDeviceName(const std::wstring& name);
