#pragma once
// The command line of orvix-verify.
#include "camera/FaultScenario.h"

#include <cstdint>
#include <string>
#include <vector>

// Frames in a row of one input that match no frame of the stream, after which the input
// is taken to be no capture of the format and the rest of it is not read.
constexpr uint64_t UnmatchedRunLimit = 100;

struct VerifyOptions
{
    bool showHelp = false;
    bool showVersion = false;
    int formatIndex = 0;    // 0 until --format names one
    // The capture joined a stream already running: frames before the first one received
    // are not counted as dropped.
    bool midStream = false;
    std::vector<std::wstring> inputs;    // files and numbered series, in the order given
    // The fault scenario the frames were captured under: given with --faults, or
    // `scenarioDevice` (1 to 4; 0 for none) names the device whose stored one it is.
    bool scenarioGiven = false;
    FaultScenario scenario;
    int scenarioDevice = 0;
};

// Reads the arguments after the program name. False, with `error` saying what is wrong,
// for an unknown option, a missing or malformed value, a format out of range, a scenario
// that does not parse, --faults with --device, or no format or no file when help was not
// asked for.
bool ParseVerifyOptions(int argc, const wchar_t* const* argv, VerifyOptions* options,
                        std::string* error);

// What --help prints.
std::string VerifyUsage();
