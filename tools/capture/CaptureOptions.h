#pragma once
// The command line of orvix-capture.
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
};

constexpr int mostFrames = 100000;

// Reads the arguments after the program name. False, with `error` saying what is wrong,
// for an unknown option, a missing or malformed value, or a number out of range.
bool ParseCaptureOptions(int argc, const wchar_t* const* argv, CaptureOptions* options,
                         std::string* error);

// What --help prints; the formats it names are those of the format table.
const char* CaptureUsage();
