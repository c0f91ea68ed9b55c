#include "CCapSrc.h"

#include "CCapSrcStream.h"
#include "CameraValueLists.h"
#include "SettingsStore.h"
#include "framework/PropertyPageList.h"

#include <new>

namespace {

constexpr wchar_t PinName[] = L"Orvix61 Test Pin";

}    // namespace

CCapSrc::CCapSrc(IUnknown* outer, HRESULT* result, const FilterVariant& variant)
    : CSource(outer, variant.filterClassId), variant(variant)
{
    ScopedLock hold(stateLock);
    LoadCameraSettings(variant.filterClassId, &settings);
    // The pin registers itself in the stream array, which owns it from then on.
    capturePin = new (std::nothrow) CCapSrcStream(result, this, PinName, variant);
    if (!capturePin && result)
        *result = E_OUTOFMEMORY;
}

CCapSrc::~CCapSrc()
{
    // Wait until no other thread is inside the filter before taking it apart.
    ScopedLock hold(stateLock);
}

HRESULT CCapSrc::QueryInterface(REFIID iid, void** out)
{
    if (!IsEqualIID(iid, IID_ISpecifyPropertyPages))
        return Owner()->QueryInterface(iid, out);
    if (!out)
        return E_POINTER;
    return HandOutInterface(static_cast<ISpecifyPropertyPages*>(this), out);
}

HRESULT CCapSrc::InnerQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, variant.filterInterfaceId))
        return HandOutInterface(static_cast<IIPFilter*>(this), out);
    if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
        return HandOutInterface(static_cast<ISpecifyPropertyPages*>(this), out);
    if (IsEqualIID(iid, IID_IIPFaultScenario))
        return HandOutInterface(static_cast<IIPFaultScenario*>(this), out);
    return CSource::InnerQueryInterface(iid, out);
}

HRESULT CCapSrc::GetState(DWORD, FILTER_STATE* current)
{
    if (!current)
        return E_POINTER;
    *current = state;
    return *current == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

HRESULT CCapSrc::GetPages(CAUUID* pages)
{
    return NameOnePropertyPage(variant.filterPageClassId, pages);
}

HRESULT CCapSrc::GetCameraSettings(CameraSettings* current)
{
    if (!current)
        return E_POINTER;
    // settingsLock alone gives a whole record; stateLock would make a host that asks from
    // a sample callback wait for a stop that waits for that callback.
    ScopedLock holdSettings(settingsLock);
    *current = settings;
    return S_OK;
}

HRESULT CCapSrc::SetCameraSettings(const CameraSettings* given)
{
    if (!given)
        return E_POINTER;
    // Every record the filter holds selects entries inside its lists and ends its name,
    // whatever the caller sent: the pin indexes the lists with it between frames.
    CameraSettings accepted = *given;
    SanitiseSettingIndices(&accepted);
    accepted.CameraName[sizeof(accepted.CameraName) - 1] = '\0';

    ScopedLock hold(stateLock);
    {
        ScopedLock holdSettings(settingsLock);
        settings = accepted;
    }
    StoreCameraSettings(variant.filterClassId, accepted);
    return S_OK;
}

bool CCapSrc::TakeChangedSettings(CameraSettings* changed)
{
    ScopedLock holdSettings(settingsLock);
    if (!settings.settingsChanged)
        return false;
    *changed = settings;
    settings.settingsChanged = 0;
    return true;
}

HRESULT CCapSrc::SetFaultScenario(const char* scenario)
{
    return capturePin ? capturePin->SetFaultScenario(scenario) : E_UNEXPECTED;
}

HRESULT CCapSrc::GetFaultScenario(char** scenario)
{
    if (!scenario)
        return E_POINTER;
    *scenario = nullptr;
    return capturePin ? capturePin->GetFaultScenario(scenario) : E_UNEXPECTED;
}

CameraSettings CCapSrc::CurrentSettings()
{
    ScopedLock holdSettings(settingsLock);
    return settings;
}

CUnknown* CreateCapSrc(IUnknown* outer, HRESULT* result, const FilterVariant& variant)
{
    CCapSrc* filter = new (std::nothrow) CCapSrc(outer, result, variant);
    if (!filter) {
        if (result)
            *result = E_OUTOFMEMORY;
        return nullptr;
    }
    return filter;
}
