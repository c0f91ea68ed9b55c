#include "SettingsStore.h"

#include "filter/CameraValueLists.h"
#include "framework/Ownership.h"

#include <objbase.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD NumberTextBytes = 60;

// The persisted integer fields, in the order they are read and written. The value names
// are the field names.
struct IntSetting
{
    const char* valueName;
    LONG CameraSettings::*field;
};
constexpr IntSetting PersistedInts[] = {
    {"ExposureGain", &CameraSettings::ExposureGain},
    {"ExposureIntTime", &CameraSettings::ExposureIntTime},
    {"ExposureMaxGain", &CameraSettings::ExposureMaxGain},
    {"ExposureMaxIntTime", &CameraSettings::ExposureMaxIntTime},
    {"AutoLevelsMinClip", &CameraSettings::AutoLevelsMinClip},
    {"AutoLevelsMaxClip", &CameraSettings::AutoLevelsMaxClip},
    {"AutoExposureEnable", &CameraSettings::AutoExposureEnable},
    {"AutoLevelsEnable", &CameraSettings::AutoLevelsEnable},
    {"AntiFlickerEnable", &CameraSettings::AntiFlickerEnable},
    {"AntiFlickerFreq", &CameraSettings::AntiFlickerFreq},
};
constexpr char CameraNameValue[] = "CameraName";

bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Leading blanks, an optional sign, then decimal digits up to the first other character;
// no digits is 0. Reads at most `length` bytes and stops at a NUL, since registry data
// of any type need not be terminated. Values beyond a LONG saturate.
LONG ParseDecimal(const char* text, DWORD length)
{
    DWORD position = 0;
    while (position < length && IsBlank(text[position]))
        ++position;
    bool negative = false;
    if (position < length && (text[position] == '-' || text[position] == '+')) {
        negative = text[position] == '-';
        ++position;
    }
    LONGLONG magnitude = 0;
    const LONGLONG limit = negative ? -LONGLONG(LONG_MIN) : LONG_MAX;
    for (; position < length && text[position] >= '0' && text[position] <= '9'; ++position) {
        magnitude = magnitude * 10 + (text[position] - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    return LONG(negative ? -magnitude : magnitude);
}

// Copies `text` into `buffer`, cut to fit and always terminated.
void CopyText(char* buffer, DWORD capacity, const char* text)
{
    const size_t length = strnlen(text, capacity - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

enum class KeyMissing
{
    Create,
    Fail,
};

LONG WriteSettingData(const char* path, const char* valueName, const char* text, size_t length,
                      KeyMissing missing)
{
    // The registry counts a value's bytes, terminator included, in a DWORD.
    if (length >= MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    UniqueRegKey key;
    const LONG status =
        missing == KeyMissing::Create
            ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, key.Put(), nullptr)
            : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, key.Put());
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          DWORD(length + 1));
}

LONG WriteSettingNumber(const char* path, const char* valueName, LONG value, KeyMissing missing)
{
    char text[NumberTextBytes];
    const int length = std::snprintf(text, sizeof(text), "%ld", value);
    return WriteSettingData(path, valueName, text, size_t(length), missing);
}

}    // namespace

bool SettingsKeyPath(REFCLSID classId, char (&path)[SettingsKeyPathBytes])
{
    CoTaskMemPtr<OLECHAR> wide;
    if (FAILED(StringFromCLSID(classId, wide.Put())))
        return false;
    char narrow[50];
    if (!WideCharToMultiByte(CP_ACP, 0, wide.Get(), -1, narrow, sizeof(narrow), nullptr, nullptr))
        return false;
    std::snprintf(path, sizeof(path), "Software\\Classes\\CLSID\\%s\\InprocServer32", narrow);
    return true;
}

LONG ReadSettingInt(const char* path, const char* valueName, LONG defaultValue, LONG* value)
{
    *value = defaultValue;
    UniqueRegKey key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Put());
    if (status != ERROR_SUCCESS)
        return status;
    char text[NumberTextBytes];
    DWORD length = sizeof(text);
    status = RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                              &length);
    if (status == ERROR_SUCCESS)
        *value = ParseDecimal(text, length < sizeof(text) ? length : sizeof(text));
    return status;
}

LONG ReadSettingText(const char* path, const char* valueName, const char* defaultText, char* buffer,
                     DWORD capacity)
{
    if (capacity == 0)
        return ERROR_INSUFFICIENT_BUFFER;
    CopyText(buffer, capacity, defaultText);
    UniqueRegKey key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Put());
    if (status != ERROR_SUCCESS)
        return status;
    DWORD length = capacity;
    status = RegQueryValueExA(key.Get(), valueName, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(buffer), &length);
    if (status == ERROR_SUCCESS && !std::memchr(buffer, '\0', length)) {
        // Data stored without its terminator: end it where it ends, unless it fills the
        // whole buffer, in which case the text was too long to keep.
        if (length < capacity)
            buffer[length] = '\0';
        else
            status = ERROR_MORE_DATA;
    }
    if (status != ERROR_SUCCESS)
        CopyText(buffer, capacity, defaultText);
    return status;
}

LONG WriteSettingInt(const char* path, const char* valueName, LONG value)
{
    return WriteSettingNumber(path, valueName, value, KeyMissing::Create);
}

LONG WriteSettingText(const char* path, const char* valueName, const char* text)
{
    return WriteSettingData(path, valueName, text, std::strlen(text), KeyMissing::Create);
}

LONG UpdateSettingInt(const char* path, const char* valueName, LONG value)
{
    return WriteSettingNumber(path, valueName, value, KeyMissing::Fail);
}

LONG UpdateSettingText(const char* path, const char* valueName, const char* text)
{
    return WriteSettingData(path, valueName, text, std::strlen(text), KeyMissing::Fail);
}

LONG DeleteSetting(const char* path, const char* valueName)
{
    UniqueRegKey key;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, key.Put());
    if (status != ERROR_SUCCESS)
        return status;
    return RegDeleteValueA(key.Get(), valueName);
}

LONG ReadStoredScenarioText(REFCLSID filterClassId, char (&text)[MaxScenarioTextBytes])
{
    text[0] = '\0';
    char path[SettingsKeyPathBytes];
    if (!SettingsKeyPath(filterClassId, path))
        return ERROR_INVALID_PARAMETER;
    return ReadSettingText(path, FaultScenarioValueName, "", text, sizeof(text));
}

FaultScenario LoadFaultScenario(REFCLSID filterClassId)
{
    char text[MaxScenarioTextBytes];
    FaultScenario scenario;
    char problem[ScenarioProblemBytes];
    if (ReadStoredScenarioText(filterClassId, text) == ERROR_SUCCESS)
        FaultScenario::Parse(text, &scenario, problem);
    return scenario;
}

void LoadCameraSettings(REFCLSID filterClassId, CameraSettings* settings)
{
    const CameraSettings defaults = DefaultCameraSettings();
    *settings = defaults;
    char path[SettingsKeyPathBytes];
    if (!SettingsKeyPath(filterClassId, path))
        return;
    for (const IntSetting& setting : PersistedInts)
        ReadSettingInt(path, setting.valueName, defaults.*setting.field,
                       &(settings->*setting.field));
    ReadSettingText(path, CameraNameValue, defaults.CameraName, settings->CameraName,
                    CameraNameBytes);
    SanitiseSettingIndices(settings);
}

void StoreCameraSettings(REFCLSID filterClassId, const CameraSettings& settings)
{
    char path[SettingsKeyPathBytes];
    if (!SettingsKeyPath(filterClassId, path))
        return;
    for (const IntSetting& setting : PersistedInts)
        WriteSettingInt(path, setting.valueName, settings.*setting.field);
    // The record comes from a caller, whose name may fill all 128 bytes unterminated.
    char cameraName[CameraNameBytes];
    CopyText(cameraName, sizeof(cameraName), settings.CameraName);
    WriteSettingText(path, CameraNameValue, cameraName);
}
