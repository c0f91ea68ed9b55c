#pragma once
// The command line of orvix-capture.
#include "camera/FaultScenario.h"

#include <string>

struct CaptureOptions
{
    bool showHelp = false;
    bool showVersion = false;
    bool listDevices = false;
    std::wstring deviceName = L"Orvix61 Capture Source Test 1";
    int formatIndex = 0;    // 0: the format the device offers by itself
    int frameCount = 10;
    std::wstring imagePath = L"first-frame.png";    // a name ending in .bmp gives a BMP
    bool verify = false;    // verify every frame against the Orvix61 camera's stream
    // --faults: the scenario the filter is to run, set on it before the stream starts.
    bool scenarioGiven = false;
    FaultScenario scenario;
};

constexpr int mostFrames = 100000;
// A frame that does not come within this long means the device has stopped: the capture
// ends there, so that no stall, however long, keeps the tool waiting.
constexpr DWORD captureFrameTimeoutMs = 15000;

// Reads the arguments after the program name. False, with `error` saying what is wrong,
// for an unknown option, a missing or malformed value, a number out of range, or a
// scenario that does not parse. A --device of digits alone names an Orvix61 device by its
// number.
bool ParseCaptureOptions(int argc, const wchar_t* const* argv, CaptureOptions* options,
                         std::string* error);

// What --help prints; the formats it names are those of the format table.
const char* CaptureUsage();
