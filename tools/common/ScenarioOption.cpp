#include "ScenarioOption.h"

#include "ToolText.h"

bool ParseScenarioOption(const std::wstring& value, FaultScenario* scenario, std::string* error)
{
    char problem[ScenarioProblemBytes];
    if (FaultScenario::Parse(Utf8(value).c_str(), scenario, problem))
        return true;
    *error = std::string("--faults: the scenario does not parse: ") + problem;
    return false;
}

std::string ScenarioItemLines(const std::string& indent)
{
    std::string lines;
    for (const char* line : {"drop K[,K...]  drop-every N  drop-percent P SEED  repeat K",
                             "corrupt K  stall K MS  late-start MS  jitter MS",
                             "stamp-step K MS  no-stamp K  clock-wrap  lose-device K",
                             "abort K HRESULT  end K  fail-start HRESULT  bottom-up"})
        lines += indent + line + "\n";
    return lines;
}
