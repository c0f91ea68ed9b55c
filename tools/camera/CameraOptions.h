#pragma once
// The command line of orvix-camera.
#include <string>

struct CameraOptions
{
    bool showHelp = false;
    bool showVersion = false;
    bool listDevices = false;
    int device = 0;         // 1 to variantCount; 0 until --device names one
    int formatIndex = 0;    // the preferred format to store; 0: left as it is
    // --faults: the scenario's canonical text, which is what is stored.
    bool storeScenario = false;
    std::string scenarioText;
    bool clearScenario = false;    // --clear, or --faults with no item
    bool showDevice = false;       // --show, after any change is stored
};

// Reads the arguments after the program name. False, with `error` saying what is wrong,
// for an unknown or repeated option, a missing or malformed value, a scenario that does
// not parse (Parse's problem: the item and why), or options that do not go together:
// --list stands alone, and --format, --faults, --clear and --show each need --device,
// which needs one of them.
bool ParseCameraOptions(int argc, const wchar_t* const* argv, CameraOptions* options,
                        std::string* error);

// What --help prints: the devices, formats and items are those of their tables.
const char* CameraUsage();
// The lines a bad command line gets after its message.
const char* CameraShortUsage();
