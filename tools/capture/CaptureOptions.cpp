#include "CaptureOptions.h"

#include "ScenarioOption.h"
#include "ToolText.h"
#include "camera/FormatTable.h"
#include "module/FilterVariants.h"

#include <cwchar>

namespace {
std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t character : text)
        narrow += character < 0x80 ? char(character) : '?';
    return narrow;
}

std::string ComposeUsage()
{
    std::string usage =
        "Usage: orvix-capture [--list] [--device NAME] [--format N] [--frames N] [--output "
        "FILE]\n"
        "                     [--verify] [--faults \"ITEMS\"]\n"
        "\n"
        "Captures frames from a video input device through the platform's filter graph\n"
        "(device -> Sample Grabber -> Null Renderer, no reference clock), writes the first\n"
        "frame as a PNG or BMP image and prints the format, the frame rate achieved and\n"
        "the spacing of the frames' time stamps.\n"
        "\n"
        "  --list           list the video input devices and exit\n"
        "  --device NAME    the device to open (default \"Orvix61 Capture Source Test 1\"),\n"
        "                   or a number, 1 to "
        + std::to_string(variantCount)
        + ", for \"Orvix61 Capture Source Test\" and it\n"
          "  --format N       use the device's capability N, "
        + std::to_string(FirstFormatIndex) + " to " + std::to_string(LastFormatIndex)
        + " (default: the format the\n"
          "                   device offers by itself); for the Orvix61 devices:\n";
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index)
        usage += "                     " + std::to_string(index) + "  "
                 + FormatSummary(CaptureFormatAt(index)) + "\n";
    usage += "  --frames N       frames to capture, 1 to 100000 (default 10)\n"
             "  --output FILE    where the first frame goes, a 24-bit PNG image, or a BMP image\n"
             "                   for a name ending in .bmp (default first-frame.png)\n"
             "  --verify         verify every frame as it arrives against the Orvix61 camera's\n"
             "                   stream, and report frames dropped, repeated, out of order,\n"
             "                   changed or corrupt (Orvix61 devices only); under a fault\n"
             "                   scenario (--faults, or the one stored for the device, as the\n"
             "                   filter reports it) each as the camera's or the host's\n"
             "  --faults \"ITEMS\" the fault scenario the device is to run (Orvix61 devices\n"
             "                   only), in place of the one stored for it; items separated\n"
             "                   by ';' (the README says what each does):\n";
    usage += ScenarioItemLines("                     ");
    usage += "                   The filter reports the scenario it runs, and --verify holds\n"
             "                   the frames against that.\n"
             "  --version        show the version\n"
             "  --help           show this text\n"
             "\n"
             "A stream that ends, a lost device or an abort ends the capture at once, and so\n"
             "does a wait of "
             + std::to_string(captureFrameTimeoutMs / 1000)
             + " s without a frame; what came is reported all the same.\n"
               "\n"
               "Exit codes: 0 captured (with --verify: every frame exact and consecutive),\n"
               "            1 capture failed, 2 bad command line,\n"
               "            3 the Orvix61 module is not registered, 4 no such device,\n"
               "            5 captured, but not every frame was exact and consecutive (under a\n"
               "              scenario: not exactly what the camera sent),\n"
               "            6 the stream ended before the frames wanted had come: the graph\n"
               "              reported its end, the device lost or an abort (named, with its\n"
               "              result); what came is reported, and verified with --verify,\n"
               "            7 no frame came for "
             + std::to_string(captureFrameTimeoutMs / 1000)
             + " s; what came is reported likewise.\n"
               "With 6 and 7, --verify calls the capture complete only when the stream ended\n"
               "where and as the scenario ends it (end, lose-device, abort with its result).\n";
    return usage;
}
}    // namespace

bool ParseCaptureOptions(int argc, const wchar_t* const* argv, CaptureOptions* options,
                         std::string* error)
{
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
        if (option == L"--list") {
            options->listDevices = true;
            continue;
        }
        if (option == L"--verify") {
            options->verify = true;
            continue;
        }
        const bool takesValue = option == L"--device" || option == L"--format"
                                || option == L"--frames" || option == L"--output"
                                || option == L"--faults";
        if (!takesValue) {
            *error = "unknown option '" + Narrow(option) + "'";
            return false;
        }
        if (index + 1 >= argc) {
            *error = Narrow(option) + " needs a value";
            return false;
        }
        const std::wstring value = argv[++index];
        if (option == L"--device") {
            if (value.empty()) {
                *error = "--device needs a device name";
                return false;
            }
            options->deviceName = value;
            if (value.find_first_not_of(L"0123456789") == std::wstring::npos) {
                int number = 0;
                if (!ParseWholeNumber(value, 1, variantCount, &number)) {
                    *error = "--device takes a device name, or a number from 1 to "
                             + std::to_string(variantCount)
                             + " for \"Orvix61 Capture Source Test N\", not '" + Narrow(value)
                             + "'";
                    return false;
                }
                options->deviceName = FilterVariants[number - 1].displayName;
            }
        } else if (option == L"--faults") {
            if (!ParseScenarioOption(value, &options->scenario, error))
                return false;
            options->scenarioGiven = true;
        } else if (option == L"--format") {
            if (!ParseWholeNumber(value, FirstFormatIndex, LastFormatIndex,
                                  &options->formatIndex)) {
                *error = "--format takes a capability number from "
                         + std::to_string(FirstFormatIndex) + " to "
                         + std::to_string(LastFormatIndex) + ", not '" + Narrow(value) + "'";
                return false;
            }
        } else if (option == L"--frames") {
            if (!ParseWholeNumber(value, 1, mostFrames, &options->frameCount)) {
                *error = "--frames takes a number of frames from 1 to " + std::to_string(mostFrames)
                         + ", not '" + Narrow(value) + "'";
                return false;
            }
        } else {
            if (value.empty()) {
                *error = "--output needs a file name";
                return false;
            }
            options->imagePath = value;
        }
    }
    return true;
}

const char* CaptureUsage()
{
    static const std::string usage = ComposeUsage();
    return usage.c_str();
}
