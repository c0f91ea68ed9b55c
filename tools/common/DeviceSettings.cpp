#include "DeviceSettings.h"

#include "camera/FaultScenario.h"
#include "filter/SettingsStore.h"
#include "framework/Ownership.h"

namespace {

// The module path registration wrote as the server key's default value; empty for none.
std::wstring RegisteredModulePath(HKEY serverKey)
{
    wchar_t path[1024] = {};
    DWORD bytes = sizeof(path) - sizeof(wchar_t);
    const LONG status =
        RegGetValueW(serverKey, nullptr, nullptr,
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, path, &bytes);
    if (status == ERROR_MORE_DATA)
        return L"(a path too long to show)";
    return status == ERROR_SUCCESS ? path : L"";
}

void ReadScenario(const FilterVariant& variant, DeviceSettings* settings)
{
    char text[MaxScenarioTextBytes];
    settings->scenarioStatus = ReadStoredScenarioText(variant.filterClassId, text);
    switch (settings->scenarioStatus) {
    case ERROR_SUCCESS:
        break;
    case ERROR_FILE_NOT_FOUND:
        settings->scenario = ScenarioState::None;
        return;
    case ERROR_MORE_DATA:
        settings->scenario = ScenarioState::TooLong;
        return;
    default:
        settings->scenario = ScenarioState::Unreadable;
        return;
    }
    // Read as LoadFaultScenario reads it, so that what is shown is what the filter runs.
    FaultScenario scenario;
    char problem[ScenarioProblemBytes];
    if (!FaultScenario::Parse(text, &scenario, problem)) {
        settings->scenario = ScenarioState::Unparsable;
        settings->scenarioText = text;
        settings->scenarioProblem = problem;
        return;
    }
    if (scenario.IsEmpty()) {
        settings->scenario = ScenarioState::None;
        return;
    }
    settings->scenario = ScenarioState::InEffect;
    // A text stored by hand may write out longer than it was: it is shown as stored then.
    char canonical[MaxScenarioTextBytes];
    settings->scenarioText = scenario.Format(canonical, sizeof(canonical)) ? canonical : text;
}

}    // namespace

DeviceSettings ReadDeviceSettings(const FilterVariant& variant)
{
    DeviceSettings settings;
    char path[SettingsKeyPathBytes];
    if (!SettingsKeyPath(variant.filterClassId, path)) {
        settings.registration = Registration::Unreadable;
        settings.keyStatus = ERROR_INVALID_PARAMETER;
        return settings;
    }
    {
        UniqueRegKey key;
        settings.keyStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Put());
        if (settings.keyStatus == ERROR_FILE_NOT_FOUND)
            return settings;
        if (settings.keyStatus != ERROR_SUCCESS) {
            settings.registration = Registration::Unreadable;
            return settings;
        }
        settings.modulePath = RegisteredModulePath(key.Get());
    }
    // A key that names no module holds settings left by a filter made from the module by
    // path: that module is not registered.
    if (settings.modulePath.empty())
        return settings;
    settings.registration = Registration::Registered;
    settings.formatStatus =
        ReadSettingInt(path, PreferredIndexValueName, 0, &settings.storedFormat);
    ReadScenario(variant, &settings);
    return settings;
}

LONG StorePreferredFormat(const FilterVariant& variant, LONG formatIndex)
{
    char path[SettingsKeyPathBytes];
    if (!SettingsKeyPath(variant.filterClassId, path))
        return ERROR_INVALID_PARAMETER;
    return UpdateSettingInt(path, PreferredIndexValueName, formatIndex);
}

LONG StoreFaultScenario(const FilterVariant& variant, const std::string& text)
{
    char path[SettingsKeyPathBytes];
    if (!SettingsKeyPath(variant.filterClassId, path))
        return ERROR_INVALID_PARAMETER;
    return UpdateSettingText(path, FaultScenarioValueName, text.c_str());
}

LONG RemoveFaultScenario(const FilterVariant& variant)
{
    char path[SettingsKeyPathBytes];
    if (!SettingsKeyPath(variant.filterClassId, path))
        return ERROR_INVALID_PARAMETER;
    return DeleteSetting(path, FaultScenarioValueName);
}
