#pragma once
// The built Orvix61Test.ax as the tests load, register and find it: through LoadLibrary,
// through regsvr32 in the test's Wine prefix, and through the platform's device
// enumerator.
#include "ChildProcess.h"
#include "VideoDevices.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

// DOS path of the module this build made.
std::wstring ModulePath();

// regsvr32 /s, or regsvr32 /s /u, on the built module.
ProgramResult Regsvr32(bool unregister);

// The module loaded into the test process, reached through its exports.
class LoadedModule
{
public:
    LoadedModule();
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool IsLoaded() const;
    HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** out) const;
    HRESULT CanUnloadNow() const;
    HRESULT UnregisterServer() const;

private:
    HMODULE module;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer)() = nullptr;
};

// How many of the platform's video input devices (ListVideoDevices) have the name.
int CountDevicesNamed(const std::vector<VideoDevice>& devices, const wchar_t* name);

// Registry reads for checking what registration left behind.
bool RegistryKeyExists(HKEY root, const std::string& path);
// The value's text, or "<missing>".
std::string RegistryText(HKEY root, const std::string& path, const char* valueName);
// Writes the value as text into a key that exists, as a user editing the registry would;
// the registry's status.
LONG WriteRegistryText(HKEY root, const std::string& path, const char* valueName,
                       const std::string& text);
// "{...}" form of an identifier, as the class keys are named.
std::string GuidText(REFGUID id);
// Replaces the key's access list with the one `sddl` describes, as a test locks a key; its
// owner may always do this, however the key was locked before.
LONG SetRegistryKeyAccess(HKEY root, const std::string& path, const char* sddl);
