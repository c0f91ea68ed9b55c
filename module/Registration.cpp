#include "Registration.h"

#include "framework/ModuleState.h"
#include "framework/Ownership.h"
#include "framework/Result.h"

#include <olectl.h>
#include <uuids.h>

#include <cstdio>
#include <cstring>

namespace {
void ShowMessageBox(const char* text)
{
    MessageBoxA(nullptr, text, nullptr, MB_OK);
}

HRESULT CreatePlatformMapper(REFCLSID classId, REFIID iid, void** out)
{
    return CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

// Removing what is not there is no failure.
HRESULT FoundOrSuccess(HRESULT hr)
{
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : hr;
}

// A failed call that left no error code must still read as a failure.
HRESULT LastError()
{
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT ToNarrow(const wchar_t* text, char (&narrow)[MAX_PATH])
{
    if (!WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, MAX_PATH, nullptr, nullptr))
        return LastError();
    return S_OK;
}

// "CLSID\{...}", the class key under HKEY_CLASSES_ROOT.
HRESULT ClassKeyName(REFCLSID classId, char (&keyName)[MAX_PATH])
{
    wchar_t wideText[39];
    char classText[MAX_PATH];
    if (!StringFromGUID2(classId, wideText, 39))
        return E_FAIL;
    RETURN_IF_FAILED(ToNarrow(wideText, classText));
    snprintf(keyName, MAX_PATH, "CLSID\\%s", classText);
    return S_OK;
}
}    // namespace

RegistrationHost registrationHost = {ShowMessageBox, CreatePlatformMapper};

HRESULT RegisterClassServer(REFCLSID classId, const wchar_t* name, const wchar_t* modulePath,
                            const wchar_t* threadingModel, const wchar_t* serverKeyName)
{
    char keyName[MAX_PATH], narrowName[MAX_PATH], narrowPath[MAX_PATH];
    char narrowModel[MAX_PATH], narrowServerKey[MAX_PATH];
    RETURN_IF_FAILED(ClassKeyName(classId, keyName));
    RETURN_IF_FAILED(ToNarrow(name, narrowName));
    RETURN_IF_FAILED(ToNarrow(modulePath, narrowPath));
    RETURN_IF_FAILED(ToNarrow(threadingModel, narrowModel));
    RETURN_IF_FAILED(ToNarrow(serverKeyName, narrowServerKey));

    UniqueRegKey classKey;
    LONG error = RegCreateKeyA(HKEY_CLASSES_ROOT, keyName, classKey.Put());
    if (error == ERROR_SUCCESS)
        error =
            RegSetValueA(classKey.Get(), nullptr, REG_SZ, narrowName, DWORD(strlen(narrowName)));
    UniqueRegKey serverKey;
    if (error == ERROR_SUCCESS)
        error = RegCreateKeyA(classKey.Get(), narrowServerKey, serverKey.Put());
    if (error == ERROR_SUCCESS)
        error =
            RegSetValueA(serverKey.Get(), nullptr, REG_SZ, narrowPath, DWORD(strlen(narrowPath)));
    if (error == ERROR_SUCCESS)
        error = RegSetValueExA(serverKey.Get(), "ThreadingModel", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(narrowModel),
                               DWORD(strlen(narrowModel) + 1));
    return HRESULT_FROM_WIN32(error);
}

HRESULT DeleteKeyTree(HKEY parent, const char* name)
{
    if (!name || !*name)
        return E_FAIL;    // an empty name would be the parent itself
    UniqueRegKey key;
    if (RegOpenKeyExA(parent, name, 0, MAXIMUM_ALLOWED, key.Put()) != ERROR_SUCCESS)
        return S_OK;
    for (;;) {
        char child[MAX_PATH];
        DWORD childLength = MAX_PATH;
        if (RegEnumKeyExA(key.Get(), 0, child, &childLength, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        // A sub-key that stays would come back at index 0 for ever.
        if (FAILED(DeleteKeyTree(key.Get(), child)))
            break;
    }
    key.Reset();
    const LONG error = RegDeleteKeyA(parent, name);    // the macro reads its argument twice
    return HRESULT_FROM_WIN32(error);
}

HRESULT UnregisterClassServers()
{
    for (const FactoryTemplate& row : FactoryTemplates) {
        char keyName[MAX_PATH];
        if (SUCCEEDED(ClassKeyName(*row.classId, keyName)))
            DeleteKeyTree(HKEY_CLASSES_ROOT, keyName);
    }
    return S_OK;
}

HRESULT RegisterWithFilterMapper(const FilterSetupRecord* record, IFilterMapper2* mapper,
                                 BOOL doRegister)
{
    if (!record)
        return S_FALSE;
    HRESULT hr = mapper->UnregisterFilter(nullptr, nullptr, *record->classId);
    if (doRegister) {
        REGFILTER2 description = {};
        description.dwVersion = 1;
        description.dwMerit = record->merit;
        description.cPins = record->pinCount;
        description.rgPins = record->pins;
        hr = mapper->RegisterFilter(*record->classId, record->name, nullptr, nullptr, nullptr,
                                    &description);
    }
    return FoundOrSuccess(hr);
}

HRESULT RegisterWithOldFilterMapper(const FilterSetupRecord* record, IFilterMapper* mapper,
                                    BOOL doRegister)
{
    if (!record)
        return S_FALSE;
    const CLSID classId = *record->classId;
    HRESULT hr = mapper->UnregisterFilter(classId);
    if (doRegister) {
        hr = mapper->RegisterFilter(classId, record->name, record->merit);
        for (ULONG pinIndex = 0; SUCCEEDED(hr) && pinIndex < record->pinCount; ++pinIndex) {
            const REGFILTERPINS& pin = record->pins[pinIndex];
            hr = mapper->RegisterPin(classId, pin.strName, pin.bRendered, pin.bOutput, pin.bZero,
                                     pin.bMany, *pin.clsConnectsToFilter, pin.strConnectsToPin);
            for (UINT typeIndex = 0; SUCCEEDED(hr) && typeIndex < pin.nMediaTypes; ++typeIndex) {
                const REGPINTYPES& type = pin.lpMediaType[typeIndex];
                hr = mapper->RegisterPinType(classId, pin.strName, *type.clsMajorType,
                                             *type.clsMinorType);
            }
        }
    }
    return FoundOrSuccess(hr);
}

namespace {

// Every filter of the module in or out of the filter mapper, or the old one where the
// platform has no other.
HRESULT RegisterWithMappers(BOOL doRegister)
{
    ComPtr<IFilterMapper2> mapper;
    ComPtr<IFilterMapper> oldMapper;
    HRESULT hr =
        registrationHost.CreateMapper(CLSID_FilterMapper2, IID_IFilterMapper2, mapper.PutVoid());
    if (FAILED(hr))
        hr = registrationHost.CreateMapper(CLSID_FilterMapper, IID_IFilterMapper,
                                           oldMapper.PutVoid());
    for (const FactoryTemplate& row : FactoryTemplates) {
        if (FAILED(hr))
            break;
        if (!row.setupDescription)
            continue;
        hr = mapper
                 ? RegisterWithFilterMapper(row.setupDescription, mapper.Get(), doRegister)
                 : RegisterWithOldFilterMapper(row.setupDescription, oldMapper.Get(), doRegister);
    }
    // The first failure, or the last registration's answer with its success code.
    return hr;
}

}    // namespace

HRESULT AMovieDllRegisterServer2(BOOL doRegister)
{
    char narrowPath[MAX_PATH];
    const DWORD pathLength = GetModuleFileNameA(moduleHandle, narrowPath, MAX_PATH);
    // A full buffer means the path was cut: registering it would point at nothing.
    if (pathLength == 0 || pathLength >= MAX_PATH)
        return LastError();
    wchar_t modulePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, narrowPath, -1, modulePath, MAX_PATH))
        return LastError();

    if (doRegister) {
        for (const FactoryTemplate& row : FactoryTemplates)
            RETURN_IF_FAILED(RegisterClassServer(*row.classId, row.name, modulePath, L"Both",
                                                 L"InprocServer32"));
    }

    HRESULT hr = S_OK;
    {
        // A thread already in the multithreaded apartment refuses this; its own
        // initialisation must not be undone.
        ComApartment apartment(COINIT_APARTMENTTHREADED);
        hr = RegisterWithMappers(doRegister);
        CoFreeUnusedLibraries();
    }

    if (FAILED(hr) || doRegister)
        return hr;
    return UnregisterClassServers();
}

// The calling thread has initialised the component runtime, as regsvr32 does.
STDAPI DllRegisterServer()
{
    HRESULT hr = AMovieDllRegisterServer2(TRUE);
    if (FAILED(hr)) {
        registrationHost.ShowMessage("Failed AMovieDllRegisterServer2");
        return hr;
    }
    ComPtr<IFilterMapper2> mapper;
    hr = registrationHost.CreateMapper(CLSID_FilterMapper2, IID_IFilterMapper2, mapper.PutVoid());
    if (FAILED(hr)) {
        registrationHost.ShowMessage("Failed CoCreateInstance");
        return hr;
    }
    for (const FilterVariant& variant : FilterVariants) {
        hr =
            mapper->RegisterFilter(variant.filterClassId, variant.displayName, nullptr,
                                   &CLSID_VideoInputDeviceCategory, nullptr, &CategoryRegistration);
        if (FAILED(hr)) {
            registrationHost.ShowMessage("Failed pFM2->RegisterFilter CLSID_Orvix61CapSrc");
            return hr;
        }
    }
    return hr;
}

STDAPI DllUnregisterServer()
{
    RETURN_IF_FAILED(AMovieDllRegisterServer2(FALSE));
    ComPtr<IFilterMapper2> mapper;
    RETURN_IF_FAILED(
        registrationHost.CreateMapper(CLSID_FilterMapper2, IID_IFilterMapper2, mapper.PutVoid()));
    // A variant missing from the category is already where unregistering wants it.
    for (const FilterVariant& variant : FilterVariants)
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, variant.filterClassId);
    return S_OK;
}
