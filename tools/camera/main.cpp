// orvix-camera: shows and sets what each Orvix61 device starts from, its preferred format
// and its fault scenario, in the registry view of this program's bitness.
#include "CameraOptions.h"
#include "DeviceSettings.h"
#include "ToolText.h"
#include "camera/FaultScenario.h"
#include "camera/FormatTable.h"
#include "module/FilterVariants.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {
enum ExitCode
{
    exitDone = 0,
    exitRegistryFailed = 1,
    exitBadOption = 2,
    exitNotRegistered = 3,
    exitNotAdministrator = 5,    // as install.cmd says it
};

constexpr bool sixtyFourBit = sizeof(void*) == 8;
const char* const viewName =
    sixtyFourBit ? "the registry's 64-bit view" : "the registry's 32-bit view";

const char* const registrationHelp =
    sixtyFourBit
        ? "Register the 64-bit module first: run install.cmd as administrator, or, from a\n"
          "command prompt opened as administrator, C:\\Windows\\System32\\regsvr32 "
          "x64\\Orvix61Test.ax"
        : "Register the 32-bit module first: run install.cmd as administrator, or, from a\n"
          "command prompt opened as administrator, C:\\Windows\\SysWOW64\\regsvr32 "
          "x86\\Orvix61Test.ax\n"
          "(C:\\Windows\\System32\\regsvr32 on 32-bit Windows)";

int Fail(int exitCode, const std::string& message)
{
    fprintf(stderr, "orvix-camera: %s\n", message.c_str());
    return exitCode;
}

std::string DeviceName(int device)
{
    return Utf8(FilterVariants[device - 1].displayName);
}

// Stored text is shown as it is, but for control characters, which could rewrite the
// console's lines.
std::string Printable(std::string text)
{
    for (char& character : text)
        if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F)
            character = '?';
    return text;
}

std::string FormatLine(const DeviceSettings& settings)
{
    const FormatIndex offered =
        settings.formatStatus == ERROR_SUCCESS && IsCatalogueIndex(settings.storedFormat)
            ? settings.storedFormat
            : FirstFormatIndex;
    std::string line = std::to_string(offered) + ", " + FormatSummary(CaptureFormatAt(offered));
    if (settings.formatStatus == ERROR_FILE_NOT_FOUND)
        return line + " (none stored: the default)";
    if (settings.formatStatus != ERROR_SUCCESS)
        return line + " (the stored value cannot be read: "
               + SystemErrorText(DWORD(settings.formatStatus)) + ")";
    if (offered != settings.storedFormat)
        return line + " (stored: " + std::to_string(settings.storedFormat) + ", outside "
               + std::to_string(FirstFormatIndex) + " to " + std::to_string(LastFormatIndex)
               + ", so format " + std::to_string(FirstFormatIndex) + ")";
    return line + " (stored: " + std::to_string(settings.storedFormat) + ")";
}

std::string ScenarioLines(const DeviceSettings& settings)
{
    switch (settings.scenario) {
    case ScenarioState::None:
        return "none\n";
    case ScenarioState::InEffect:
        return Printable(settings.scenarioText) + "\n";
    case ScenarioState::Unparsable:
        return "none in effect: the stored text does not parse, and the filter ignores it\n"
               "    Stored text:    "
               + Printable(settings.scenarioText)
               + "\n"
                 "    Problem:        "
               + Printable(settings.scenarioProblem) + "\n";
    case ScenarioState::TooLong:
        return "none in effect: the stored text is longer than "
               + std::to_string(MaxScenarioTextBytes - 1)
               + " characters, and the filter ignores it\n";
    case ScenarioState::Unreadable:
        break;
    }
    return "none in effect: the stored text cannot be read ("
           + SystemErrorText(DWORD(settings.scenarioStatus)) + "), and the filter runs none\n";
}

void PrintDevice(int device, const DeviceSettings& settings)
{
    std::string text = "Device " + std::to_string(device) + ": " + DeviceName(device) + "\n";
    switch (settings.registration) {
    case Registration::NotRegistered:
        text += std::string("  Registered:       no (no module is registered for it in ") + viewName
                + ")\n";
        break;
    case Registration::Unreadable:
        text += "  Registered:       cannot tell: its class key cannot be read ("
                + SystemErrorText(DWORD(settings.keyStatus)) + ")\n";
        break;
    case Registration::Registered:
        text += "  Registered:       yes, " + Utf8(settings.modulePath) + "\n";
        text += "  Preferred format: " + FormatLine(settings) + "\n";
        text += "  Fault scenario:   " + ScenarioLines(settings);
        break;
    }
    fputs(text.c_str(), stdout);
}

int ListDevices()
{
    printf("Orvix61 devices in %s, where the %s module keeps its settings:\n", viewName,
           sixtyFourBit ? "64-bit (x64)" : "32-bit (x86)");
    bool anyNotRegistered = false;
    bool anyUnreadable = false;
    for (int device = 1; device <= variantCount; ++device) {
        const DeviceSettings settings = ReadDeviceSettings(FilterVariants[device - 1]);
        PrintDevice(device, settings);
        anyNotRegistered = anyNotRegistered || settings.registration == Registration::NotRegistered;
        anyUnreadable = anyUnreadable || settings.registration == Registration::Unreadable;
    }
    if (anyNotRegistered)
        printf("%s\n", registrationHelp);
    return anyUnreadable ? exitRegistryFailed : exitDone;
}

// Why `what` could not be stored for the device, and the exit code that says it.
int StoreFailed(int device, const std::string& what, LONG status)
{
    const std::string name = DeviceName(device);
    if (status == ERROR_FILE_NOT_FOUND)
        return Fail(exitNotRegistered, name + " is not registered in " + viewName + ": " + what
                                           + " was not stored.\n" + registrationHelp);
    if (status == ERROR_ACCESS_DENIED)
        return Fail(exitNotAdministrator,
                    "cannot store " + what + " of " + name
                        + ": the device's settings live in a machine-wide registry key\n"
                          "(HKEY_LOCAL_MACHINE), and writing it needs administrator rights. "
                          "Open a command prompt as\n"
                          "administrator (right-click \"Command Prompt\" and choose \"Run as "
                          "administrator\")\n"
                          "and run orvix-camera there. Nothing more was stored.");
    return Fail(exitRegistryFailed,
                "cannot store " + what + " of " + name + ": " + SystemErrorText(DWORD(status)));
}

int ChangeDevice(const CameraOptions& options)
{
    const int device = options.device;
    const FilterVariant& variant = FilterVariants[device - 1];
    const std::string name = DeviceName(device);
    const DeviceSettings before = ReadDeviceSettings(variant);
    if (before.registration == Registration::NotRegistered)
        return Fail(exitNotRegistered, name + " is not registered in " + viewName
                                           + ", so it has no settings here; nothing was stored.\n"
                                           + registrationHelp);
    // A key that cannot be read may still be written: the writes below say what happens.
    if (options.formatIndex) {
        const LONG status = StorePreferredFormat(variant, options.formatIndex);
        if (status != ERROR_SUCCESS)
            return StoreFailed(device, "the preferred format", status);
        printf("%s: preferred format %d stored, %s: filters made from now on offer it first\n",
               name.c_str(), options.formatIndex,
               FormatSummary(CaptureFormatAt(options.formatIndex)).c_str());
    }
    if (options.storeScenario) {
        const LONG status = StoreFaultScenario(variant, options.scenarioText);
        if (status != ERROR_SUCCESS)
            return StoreFailed(device, "the fault scenario", status);
        printf("%s: fault scenario stored, from the next start of the stream: %s\n", name.c_str(),
               options.scenarioText.c_str());
    }
    if (options.clearScenario) {
        const LONG status = RemoveFaultScenario(variant);
        if (status == ERROR_FILE_NOT_FOUND)
            printf("%s: no fault scenario was stored\n", name.c_str());
        else if (status != ERROR_SUCCESS)
            return StoreFailed(device, "the removal of the fault scenario", status);
        else
            printf("%s: fault scenario removed, from the next start of the stream\n", name.c_str());
    }
    if (!options.showDevice)
        return exitDone;
    const DeviceSettings after = ReadDeviceSettings(variant);
    PrintDevice(device, after);
    switch (after.registration) {
    case Registration::Registered:
        return exitDone;
    case Registration::NotRegistered:
        return Fail(exitNotRegistered,
                    name + " is not registered in " + viewName + ".\n" + registrationHelp);
    case Registration::Unreadable:
        break;
    }
    return exitRegistryFailed;
}

}    // namespace

int wmain(int argc, wchar_t** argv)
{
    CameraOptions options;
    std::string error;
    if (!ParseCameraOptions(argc - 1, argv + 1, &options, &error)) {
        fprintf(stderr, "orvix-camera: %s\n%s", error.c_str(), CameraShortUsage());
        return exitBadOption;
    }
    if (options.showHelp) {
        fputs(CameraUsage(), stdout);
        return exitDone;
    }
    if (options.showVersion) {
        printf("orvix-camera %s\n", ORVIX_VERSION);
        return exitDone;
    }
    return options.listDevices ? ListDevices() : ChangeDevice(options);
}
