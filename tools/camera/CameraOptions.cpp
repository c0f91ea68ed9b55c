#include "CameraOptions.h"

#include "ScenarioOption.h"
#include "ToolText.h"
#include "camera/FaultScenario.h"
#include "camera/FormatTable.h"
#include "module/FilterVariants.h"

namespace {

const char usageLines[] =
    "Usage: orvix-camera --list\n"
    "       orvix-camera --device N [--format K] [--faults \"ITEMS\" | --clear] [--show]\n";

std::string ComposeUsage()
{
    std::string usage =
        std::string(usageLines)
        + "\n"
          "Shows and sets what each Orvix61 device starts from: its preferred format, which\n"
          "capture programs get first (ffmpeg takes only that one), and its fault scenario,\n"
          "what the simulated camera does wrong on purpose. Both are stored in the registry\n"
          "beside the device's class registration, in the view of this program's bitness:\n"
        + (sizeof(void*) == 8 ? "the 64-bit view, which the x64 module reads (64-bit programs).\n"
                              : "the 32-bit view, which the x86 module reads (32-bit programs).\n")
        + "\n"
          "  --list           the four devices: registered or not, preferred format and\n"
          "                   fault scenario\n"
          "  --device N       the device to change or show, 1 to "
        + std::to_string(variantCount) + ":\n";
    for (int number = 1; number <= variantCount; ++number)
        usage += "                     " + std::to_string(number) + "  "
                 + Utf8(FilterVariants[number - 1].displayName) + "\n";
    usage += "  --format K       store preferred format K, as the pin page does; filters made\n"
             "                   from then on offer it first:\n";
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index)
        usage += "                     " + std::to_string(index) + "  "
                 + FormatSummary(CaptureFormatAt(index)) + "\n";
    usage += "  --faults \"ITEMS\" store a fault scenario, items separated by ';', for example\n"
             "                   \"drop 5,17; stall 40 500\"; it applies from the next start of\n"
             "                   the stream. Items (K a frame number, counted from 0 at each\n"
             "                   start; MS milliseconds; the README says what each does):\n";
    usage += ScenarioItemLines("                     ");
    usage += "                   A scenario with no item is the same as --clear.\n"
             "  --clear          remove the device's fault scenario\n"
             "  --show           show the device as --list does (after storing, with the above)\n"
             "  --version        show the version\n"
             "  --help           show this text\n"
             "\n"
             "Writing a machine-wide registry key needs administrator rights: run it from a\n"
             "command prompt opened with \"Run as administrator\".\n"
             "\n"
             "Exit codes: 0 done, 1 the registry could not be read or written (the system's\n"
             "            reason is given), 2 bad command line or a scenario that does not parse,\n"
             "            3 the device is not registered in this program's registry view,\n"
             "            5 not run as administrator. Apart from 0, nothing more was stored than\n"
             "            the output says.\n";
    return usage;
}

bool Refuse(std::string* error, const std::string& message)
{
    *error = message;
    return false;
}

bool ReadScenario(const std::wstring& value, CameraOptions* options, std::string* error)
{
    FaultScenario scenario;
    if (!ParseScenarioOption(value, &scenario, error))
        return Refuse(error, *error + "; nothing was stored");
    if (scenario.IsEmpty()) {
        options->clearScenario = true;
        return true;
    }
    // A scenario that parses fits its canonical text.
    char canonical[MaxScenarioTextBytes];
    scenario.Format(canonical, sizeof(canonical));
    options->storeScenario = true;
    options->scenarioText = canonical;
    return true;
}

}    // namespace

bool ParseCameraOptions(int argc, const wchar_t* const* argv, CameraOptions* options,
                        std::string* error)
{
    bool givenFaults = false;
    bool givenClear = false;
    for (int index = 0; index < argc; ++index) {
        const std::wstring option = argv[index];
        if (option == L"--help" || option == L"-h" || option == L"/?") {
            options->showHelp = true;
            continue;
        }
        if (option == L"--version") {
            options->showVersion = true;
            continue;
        }
        bool* flag = option == L"--list"    ? &options->listDevices
                     : option == L"--clear" ? &givenClear
                     : option == L"--show"  ? &options->showDevice
                                            : nullptr;
        if (flag) {
            if (*flag)
                return Refuse(error, Utf8(option) + " is given twice");
            *flag = true;
            continue;
        }
        const bool takesValue =
            option == L"--device" || option == L"--format" || option == L"--faults";
        if (!takesValue)
            return Refuse(error, "unknown option '" + Utf8(option) + "'");
        if (index + 1 >= argc)
            return Refuse(error, Utf8(option) + " needs a value");
        const std::wstring value = argv[++index];
        if (option == L"--device") {
            if (options->device)
                return Refuse(error, "--device is given twice");
            if (!ParseWholeNumber(value, 1, variantCount, &options->device))
                return Refuse(error, "--device takes a device number from 1 to "
                                         + std::to_string(variantCount) + ", not '" + Utf8(value)
                                         + "' (orvix-camera --list shows them)");
        } else if (option == L"--format") {
            if (options->formatIndex)
                return Refuse(error, "--format is given twice");
            if (!ParseWholeNumber(value, FirstFormatIndex, LastFormatIndex, &options->formatIndex))
                return Refuse(error, "--format takes a format number from "
                                         + std::to_string(FirstFormatIndex) + " to "
                                         + std::to_string(LastFormatIndex) + ", not '" + Utf8(value)
                                         + "'");
        } else {
            if (givenFaults)
                return Refuse(error, "--faults is given twice");
            givenFaults = true;
            if (!ReadScenario(value, options, error))
                return false;
        }
    }
    if (options->showHelp || options->showVersion)
        return true;
    if (givenFaults && givenClear)
        return Refuse(error, "--faults and --clear do not go together: give one");
    options->clearScenario = options->clearScenario || givenClear;
    const bool changesOrShows =
        options->formatIndex || givenFaults || givenClear || options->showDevice;
    if (options->listDevices) {
        if (options->device || changesOrShows)
            return Refuse(error, "--list goes alone: give --device N for one device");
        return true;
    }
    if (!options->device)
        return Refuse(error, changesOrShows ? "--device N is needed: which device to change or show"
                                            : "nothing to do: give --list, or --device N with "
                                              "--format, --faults, --clear or --show");
    if (!changesOrShows)
        return Refuse(error, "--device needs --format, --faults, --clear or --show");
    return true;
}

const char* CameraUsage()
{
    static const std::string usage = ComposeUsage();
    return usage.c_str();
}

const char* CameraShortUsage()
{
    static const std::string usage =
        std::string(usageLines) + "Run orvix-camera --help for the options and exit codes.\n";
    return usage.c_str();
}
