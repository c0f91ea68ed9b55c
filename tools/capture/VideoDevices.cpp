#include "VideoDevices.h"

#include "Orvix61Test.h"
#include "framework/Result.h"

HRESULT ListVideoDevices(std::vector<VideoDevice>* devices)
{
    devices->clear();
    ComPtr<ICreateDevEnum> enumerator;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ICreateDevEnum, enumerator.PutVoid()));
    ComPtr<IEnumMoniker> monikers;
    const HRESULT hr =
        enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0);
    if (hr != S_OK)
        return FAILED(hr) ? hr : S_OK;    // S_FALSE: nothing in the category
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Put(), nullptr) == S_OK) {
        VideoDevice device;
        device.moniker = moniker;
        ComPtr<IPropertyBag> properties;
        if (SUCCEEDED(
                moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, properties.PutVoid()))) {
            VARIANT name;
            VariantInit(&name);
            if (SUCCEEDED(properties->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
                device.name = name.bstrVal;
            VariantClear(&name);
        }
        devices->push_back(std::move(device));
    }
    return S_OK;
}

bool OrvixModuleRegistered()
{
    for (const CLSID* filterClass : {&CLSID_Orvix61CapSrc1, &CLSID_Orvix61CapSrc2,
                                     &CLSID_Orvix61CapSrc3, &CLSID_Orvix61CapSrc4}) {
        wchar_t classText[39];
        StringFromGUID2(*filterClass, classText, 39);
        const std::wstring serverKey = std::wstring(L"CLSID\\") + classText + L"\\InprocServer32";
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, serverKey.c_str(), 0, KEY_READ, key.Put())
            == ERROR_SUCCESS)
            return true;
    }
    return false;
}

bool IsOrvixDeviceName(const std::wstring& name)
{
    return name.rfind(L"Orvix61 Capture Source Test ", 0) == 0;
}
