#pragma once
// The fault scenario as the tools take it on their command lines (--faults "ITEMS"), and
// the lines their help gives the items in.
#include "camera/FaultScenario.h"

#include <string>

// Parses the value of --faults. False, with `error` naming the item and why, when it does
// not parse.
bool ParseScenarioOption(const std::wstring& value, FaultScenario* scenario, std::string* error);

// The scenario's items, a few to a line, each line after `indent`.
std::string ScenarioItemLines(const std::string& indent);
