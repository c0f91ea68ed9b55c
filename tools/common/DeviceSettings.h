#pragma once
// What one Orvix61 device starts from, as the registry view of this program's bitness holds
// it: whether its module is registered there, its preferred format and its fault scenario.
// Reads and writes go through the module's own settings store, so the tool and the filter
// read every value alike, and a write never makes a key: registration makes it.
#include "filter/FilterVariant.h"

#include <windows.h>

#include <string>

enum class Registration
{
    Registered,       // the class key names a module
    NotRegistered,    // no class key, or one that names no module
    Unreadable,       // the key exists, but cannot be read (the status says why)
};

enum class ScenarioState
{
    None,
    InEffect,      // text: its canonical form, as the filter runs it
    Unparsable,    // text: as stored; problem: why it does not parse. The filter ignores it.
    TooLong,       // longer than a scenario may be; the filter ignores it
    Unreadable,    // status: why; the filter runs no scenario
};

struct DeviceSettings
{
    Registration registration = Registration::NotRegistered;
    LONG keyStatus = ERROR_FILE_NOT_FOUND;
    std::wstring modulePath;    // what the registration names, as it stands
    // The stored preferred format and the status of reading it: a status other than
    // ERROR_SUCCESS means none, and the pin offers format 1.
    LONG formatStatus = ERROR_FILE_NOT_FOUND;
    LONG storedFormat = 0;
    ScenarioState scenario = ScenarioState::None;
    LONG scenarioStatus = ERROR_FILE_NOT_FOUND;
    std::string scenarioText;
    std::string scenarioProblem;
};

DeviceSettings ReadDeviceSettings(const FilterVariant& variant);

// Each returns the registry's status: ERROR_FILE_NOT_FOUND when the key is missing (then
// nothing is made), ERROR_ACCESS_DENIED without the rights to write it.
LONG StorePreferredFormat(const FilterVariant& variant, LONG formatIndex);
LONG StoreFaultScenario(const FilterVariant& variant, const std::string& text);
// ERROR_FILE_NOT_FOUND also when no scenario was stored.
LONG RemoveFaultScenario(const FilterVariant& variant);
