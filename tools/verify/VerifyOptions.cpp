#include "VerifyOptions.h"

#include "FrameInputs.h"
#include "ScenarioOption.h"
#include "ToolText.h"
#include "camera/FormatTable.h"
#include "module/FilterVariants.h"
#include "verify/VerificationReport.h"

namespace {
// One line per format of the table, as --format takes them.
std::string FormatList()
{
    std::string list;
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index)
        list += "                 " + std::to_string(index) + "  "
                + FormatSummary(CaptureFormatAt(index)) + "\n";
    return list;
}
}    // namespace

bool ParseVerifyOptions(int argc, const wchar_t* const* argv, VerifyOptions* options,
                        std::string* error)
{
    for (int index = 0; index < argc; ++index) {
        const std::wstring argument = argv[index];
        if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            options->showHelp = true;
        } else if (argument == L"--version") {
            options->showVersion = true;
        } else if (argument == L"--mid-stream") {
            options->midStream = true;
        } else if (argument == L"--format") {
            if (index + 1 >= argc) {
                *error = "--format needs a value";
                return false;
            }
            const std::wstring value = argv[++index];
            if (!ParseWholeNumber(value, FirstFormatIndex, LastFormatIndex,
                                  &options->formatIndex)) {
                *error = "--format takes a format from " + std::to_string(FirstFormatIndex) + " to "
                         + std::to_string(LastFormatIndex) + ", not '" + Utf8(value) + "'";
                return false;
            }
        } else if (argument == L"--faults" || argument == L"--device") {
            if (index + 1 >= argc) {
                *error = Utf8(argument) + " needs a value";
                return false;
            }
            if (options->scenarioGiven || options->scenarioDevice) {
                *error = "give the scenario once: --faults \"ITEMS\" or --device D";
                return false;
            }
            const std::wstring value = argv[++index];
            if (argument == L"--faults") {
                if (!ParseScenarioOption(value, &options->scenario, error))
                    return false;
                options->scenarioGiven = true;
            } else if (!ParseWholeNumber(value, 1, variantCount, &options->scenarioDevice)) {
                *error = "--device takes a device number from 1 to " + std::to_string(variantCount)
                         + ", not '" + Utf8(value) + "'";
                return false;
            }
        } else if (argument.size() > 1 && argument[0] == L'-') {
            *error = "unknown option '" + Utf8(argument) + "'";
            return false;
        } else {
            options->inputs.push_back(argument);
        }
    }
    if (options->showHelp || options->showVersion)
        return true;
    if (!options->formatIndex) {
        *error = "--format is needed: the catalogue format the frames were captured in";
        return false;
    }
    if (options->inputs.empty()) {
        *error = "name at least one file to verify";
        return false;
    }
    return true;
}

std::string VerifyUsage()
{
    const std::string runLimit = std::to_string(UnmatchedRunLimit);
    return "Usage: orvix-verify --format N [--mid-stream] FILE...\n"
           "       orvix-verify --format N [--mid-stream] --faults \"ITEMS\" FILE...\n"
           "       orvix-verify --format N [--mid-stream] --device D FILE...\n"
           "\n"
           "Verifies frames that a capture program received from an Orvix61 device: finds\n"
           "each frame's number in the device's stream, compares every byte, and reports\n"
           "frames dropped, repeated, out of order, changed or corrupt. Given the fault\n"
           "scenario the device ran, it tells what the camera did on purpose from what the\n"
           "capture program lost or changed.\n"
           "\n"
           "  --format N    the catalogue format the frames were captured in:\n"
           + FormatList()
           + "  FILE          raw frames back to back, as ffmpeg writes them with -f rawvideo;\n"
             "                or a still (.bmp or .png): 24 bits per pixel, or 32 for RGB32\n"
             "                formats; or a numbered series of stills, frame%03d.png (the\n"
             "                pattern in the file name, not the folder), read from the first\n"
             "                of the numbers 0 to "
           + std::to_string(SeriesStartNumbers - 1)
           + " that exists until one is missing. All\n"
             "                files together are one stream, in the order given.\n"
             "  --mid-stream  the capture joined a stream already running: frames before the\n"
             "                first one received are not counted as dropped\n"
             "  --faults \"ITEMS\"\n"
             "                the fault scenario the frames were captured under, items\n"
             "                separated by ';' (the README says what each does):\n"
           + ScenarioItemLines("                  ")
           + "                Each gap, repeat and change is reported as the camera's (the\n"
             "                scenario made it) or the host's.\n"
             "  --device D    the scenario stored for device D, 1 to "
           + std::to_string(variantCount)
           + " (\"Orvix61 Capture\n"
             "                Source Test D\"), as orvix-camera --show shows it in this\n"
             "                program's registry view\n"
             "  --version     show the version\n"
             "  --help        show this text\n"
             "\n"
             "Every start of the stream starts at frame 0, so without --mid-stream the frames\n"
             "before the first one received count as dropped. A frame is recognised by its\n"
             "number within "
           + GroupedDigits(FrameSearchBound)
           + " frames of the one expected. Rows in reverse order and\n"
             "changed fourth bytes of RGB32 pixels are named as such. After "
           + runLimit
           + " frames in\n"
             "a row of one input (a file, or a numbered series) that match no frame, that\n"
             "input is taken to be no capture of this format and the rest of it is not read;\n"
             "the inputs after it are read all the same.\n"
             "\n"
             "Exit codes: 0 every frame exact and consecutive, every input read in full,\n"
             "            1 not every frame exact and consecutive (the report says which),\n"
             "            2 bad command line, or a scenario that does not parse,\n"
             "            3 an input could not be read or verified in full, and says why:\n"
             "              it cannot be opened or read, is empty, is not a whole number of\n"
             "              frames, is a still of another size or depth, is a series that\n"
             "              matches no file or stops at a missing number while files with\n"
             "              later numbers exist, or holds "
           + runLimit
           + " frames in a row that match none.\n"
             "              The frames that could be read are reported all the same, and\n"
             "              the report does not call the capture complete when part of an\n"
             "              input was not read,\n"
             "            4 the scenario of --device D cannot be had: the device is not\n"
             "              registered in this program's registry view, or its stored\n"
             "              scenario cannot be read or does not parse; nothing is verified.\n"
             "Under a scenario, 0 says the host received exactly what the camera sent.\n";
}
