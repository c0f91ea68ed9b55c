#include "ModuleUnderTest.h"

#include <sddl.h>

std::wstring ModulePath()
{
    return DosPath(ORVIX_MODULE_PATH);
}

ProgramResult Regsvr32(bool unregister)
{
    std::wstring line = unregister ? L"regsvr32.exe /s /u \"" : L"regsvr32.exe /s \"";
    return RunProgram(line + ModulePath() + L"\"");
}

LoadedModule::LoadedModule() : module(LoadLibraryW(ModulePath().c_str()))
{
    if (!module)
        return;
    getClassObject = reinterpret_cast<decltype(getClassObject)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    unregisterServer = reinterpret_cast<decltype(unregisterServer)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
}

LoadedModule::~LoadedModule()
{
    if (module)
        FreeLibrary(module);
}

bool LoadedModule::IsLoaded() const
{
    return module && getClassObject && canUnloadNow && unregisterServer;
}

HRESULT LoadedModule::GetClassObject(REFCLSID classId, REFIID iid, void** out) const
{
    return getClassObject(classId, iid, out);
}

HRESULT LoadedModule::CanUnloadNow() const
{
    return canUnloadNow();
}

HRESULT LoadedModule::UnregisterServer() const
{
    return unregisterServer();
}

int CountDevicesNamed(const std::vector<VideoDevice>& devices, const wchar_t* name)
{
    int count = 0;
    for (const VideoDevice& device : devices)
        count += device.name == name;
    return count;
}

bool RegistryKeyExists(HKEY root, const std::string& path)
{
    UniqueRegKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::string RegistryText(HKEY root, const std::string& path, const char* valueName)
{
    char text[MAX_PATH] = {};
    DWORD bytes = sizeof(text) - 1;
    if (RegGetValueA(root, path.c_str(), valueName, RRF_RT_REG_SZ, nullptr, text, &bytes)
        != ERROR_SUCCESS)
        return "<missing>";
    return text;
}

LONG WriteRegistryText(HKEY root, const std::string& path, const char* valueName,
                       const std::string& text)
{
    UniqueRegKey key;
    const LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, key.Put());
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExA(key.Get(), valueName, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
}

std::string GuidText(REFGUID id)
{
    wchar_t wide[39] = {};
    StringFromGUID2(id, wide, 39);
    return std::string(wide, wide + 38);
}

LONG SetRegistryKeyAccess(HKEY root, const std::string& path, const char* sddl)
{
    UniqueRegKey key;
    const LONG status = RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, key.Put());
    if (status != ERROR_SUCCESS)
        return status;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return LONG(GetLastError());
    const LONG set = RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return set;
}
