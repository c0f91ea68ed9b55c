#include "ModuleUnderTest.h"

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

std::vector<VideoInputDevice> VideoInputDevices()
{
    std::vector<VideoInputDevice> devices;
    ComPtr<ICreateDevEnum> enumerator;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, enumerator.PutVoid())))
        return devices;
    ComPtr<IEnumMoniker> monikers;
    // S_FALSE: the category is empty.
    if (enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0) != S_OK)
        return devices;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Put(), nullptr) == S_OK) {
        VideoInputDevice device;
        device.moniker = moniker;
        ComPtr<IPropertyBag> properties;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, properties.PutVoid()))) {
            VARIANT name;
            VariantInit(&name);
            if (SUCCEEDED(properties->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
                device.friendlyName = name.bstrVal;
            VariantClear(&name);
        }
        devices.push_back(std::move(device));
    }
    return devices;
}

int CountDevicesNamed(const std::vector<VideoInputDevice>& devices, const wchar_t* name)
{
    int count = 0;
    for (const VideoInputDevice& device : devices)
        count += device.friendlyName == name;
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

std::string GuidText(REFGUID id)
{
    wchar_t wide[39] = {};
    StringFromGUID2(id, wide, 39);
    return std::string(wide, wide + 38);
}
