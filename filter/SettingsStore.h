#pragma once
// Persistence of the per-variant settings in HKEY_LOCAL_MACHINE, in the key that also
// holds the variant's in-process server registration. The store keeps no state: every
// call opens the key, does one thing and closes it again. Values are REG_SZ text;
// numbers are decimal.
#include "Orvix61Test.h"
#include "camera/FaultScenario.h"

#include <windows.h>

constexpr size_t SettingsKeyPathBytes = 100;
constexpr DWORD CameraNameBytes = 128;

// "Software\Classes\CLSID\{...}\InprocServer32" for the class identifier, cut at 99
// characters. False, with `path` unchanged, when the identifier cannot be converted.
bool SettingsKeyPath(REFCLSID classId, char (&path)[SettingsKeyPathBytes]);

// Each returns the registry's status code; callers ignore it by design, since a missing
// or unwritable value means defaults and silence.
LONG ReadSettingInt(const char* path, const char* valueName, LONG defaultValue, LONG* value);
LONG ReadSettingText(const char* path, const char* valueName, const char* defaultText, char* buffer,
                     DWORD capacity);
LONG WriteSettingInt(const char* path, const char* valueName, LONG value);
LONG WriteSettingText(const char* path, const char* valueName, const char* text);
// As the two above, but only into a key that exists, which registration makes: a program
// that changes a registered variant's settings makes no key for a module that is not
// registered. ERROR_FILE_NOT_FOUND, with nothing made, when the key is missing.
LONG UpdateSettingInt(const char* path, const char* valueName, LONG value);
LONG UpdateSettingText(const char* path, const char* valueName, const char* text);

LONG DeleteSetting(const char* path, const char* valueName);

// The pin's preferred format, its number in the format catalogue, as the pin page stores it.
constexpr char PreferredIndexValueName[] = "PreferedIndex";

// The variant's fault scenario, stored as its text under this value name.
constexpr char FaultScenarioValueName[] = "FaultScenario";
// The stored text, or "" when there is none or it cannot be read whole.
LONG ReadStoredScenarioText(REFCLSID filterClassId, char (&text)[MaxScenarioTextBytes]);
// The scenario stored for the variant. A stored text that does not parse (hand-edited, or
// longer than a scenario may be) counts as none: the camera then behaves as it always does.
FaultScenario LoadFaultScenario(REFCLSID filterClassId);

// Fills the whole record from the variant's key; missing values take their defaults,
// settingsChanged is 0, and indices are sanitised.
void LoadCameraSettings(REFCLSID filterClassId, CameraSettings* settings);
// Writes every persisted field, each in its own open-write-close cycle; failures are
// silent. settingsChanged is never written.
void StoreCameraSettings(REFCLSID filterClassId, const CameraSettings& settings);
