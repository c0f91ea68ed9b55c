// orvix-verify: verifies frames a capture program received from an Orvix61 device, read
// from files: raw frames back to back, stills, or numbered series of stills.
#include "DeviceSettings.h"
#include "FrameInputs.h"
#include "ToolText.h"
#include "VerifyOptions.h"
#include "framework/Ownership.h"
#include "module/FilterVariants.h"
#include "verify/FrameFormat.h"
#include "verify/FrameVerifier.h"
#include "verify/VerificationReport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {
enum ExitCode
{
    exitExact = 0,
    exitNotExact = 1,
    exitBadOption = 2,
    exitBadInput = 3,
    exitNoScenario = 4,
};

const char* const viewName =
    sizeof(void*) == 8 ? "the registry's 64-bit view" : "the registry's 32-bit view";

// The scenario stored for a device, as the filter of this bitness would run it. False, with
// `error` saying plainly why, when there is none to be had.
bool ReadStoredScenario(int device, FaultScenario* scenario, std::string* error)
{
    const std::string name = Utf8(FilterVariants[device - 1].displayName);
    const DeviceSettings settings = ReadDeviceSettings(FilterVariants[device - 1]);
    switch (settings.registration) {
    case Registration::NotRegistered:
        *error = name + " is not registered in " + viewName
                 + ", so it has no stored scenario: register the module, or give the "
                   "scenario with --faults";
        return false;
    case Registration::Unreadable:
        *error = "cannot tell whether " + name + " is registered: its class key cannot be read ("
                 + SystemErrorText(DWORD(settings.keyStatus)) + ")";
        return false;
    case Registration::Registered:
        break;
    }
    const std::string ignored = ", so the filter ignores it and runs no faults; give the "
                                "scenario the capture ran with --faults";
    char problem[ScenarioProblemBytes];
    switch (settings.scenario) {
    case ScenarioState::None:
        *scenario = FaultScenario();
        return true;
    case ScenarioState::InEffect:
        return FaultScenario::Parse(settings.scenarioText.c_str(), scenario, problem);
    case ScenarioState::Unparsable:
        *error = "the scenario stored for " + name + " does not parse (" + settings.scenarioProblem
                 + ")" + ignored;
        return false;
    case ScenarioState::TooLong:
        *error = "the scenario stored for " + name + " is longer than "
                 + std::to_string(MaxScenarioTextBytes - 1) + " characters" + ignored;
        return false;
    case ScenarioState::Unreadable:
        break;
    }
    *error = "the scenario stored for " + name + " cannot be read ("
             + SystemErrorText(DWORD(settings.scenarioStatus)) + ")";
    return false;
}

// "2 files with later numbers exist, from C:\\t\\frame003.png, and were not read"
std::string LaterFilesText(const InputFiles& input)
{
    if (input.laterFiles == 1)
        return "1 file with a later number exists, " + Utf8(input.firstLater)
               + ", and was not read";
    return CountText(input.laterFiles, "file", "files") + " with later numbers exist, from "
           + Utf8(input.firstLater) + ", and were not read";
}

// " 2 later files of the series, from C:\\t\\frame100.png to C:\\t\\frame101.png, were not
// read": the files of a series after `stopped`, or nothing when it was the last.
std::string FilesLeftText(const InputFiles& input, size_t stopped)
{
    const size_t left = input.files.size() - stopped - 1;
    if (left == 0)
        return "";
    const std::string first = Utf8(input.files[stopped + 1]);
    if (left == 1)
        return " 1 later file of the series, " + first + ", was not read";
    return " " + CountText(left, "later file", "later files") + " of the series, from " + first
           + " to " + Utf8(input.files.back()) + ", were not read";
}

// Verifies every input in turn into one report; says what it could not read.
class Verification
{
public:
    // `scenario`, when given, is the one the frames were captured under, named with
    // `origin` in the report.
    Verification(const FrameFormat& format, bool fromStreamStart, const FaultScenario* scenario,
                 const std::string& origin)
        : format(format), report(scenario ? VerificationReport(fromStreamStart, *scenario, origin)
                                          : VerificationReport(fromStreamStart))
    {
    }

    // A file, or each file of a numbered series.
    void VerifyInput(const std::wstring& argument);
    bool HadBadInput() const { return badInput; }
    // The report, told of the inputs not read in full.
    const VerificationReport& Report();

private:
    // How a trouble leaves the input.
    enum Reading
    {
        readInFull,
        notReadInFull,
    };

    void VerifyRawFrames(const std::wstring& path, const std::string& name, std::string* stop);
    void VerifyStill(const std::wstring& path, const std::string& name);
    // True once the input has shown itself to be no capture of the format.
    bool GaveUp() const;
    // Says where in the input `name` reading stopped, and which of its files were left
    // (`filesLeft`, as FilesLeftText names them).
    void SayStopped(const std::string& name, const std::string& stop, const std::string& filesLeft);
    FrameVerifier& VerifierFor(int pixelBytes);
    void Trouble(const std::string& name, const std::string& problem, Reading reading);

    const FrameFormat format;
    VerificationReport report;
    // One for frames as delivered, one for 24-bit stills of RGB32 frames; made when needed.
    std::unique_ptr<FrameVerifier> verifiers[2];
    std::vector<BYTE> frame;
    bool badInput = false;
    uint64_t inputStart = 0;      // frames checked before the input being read
    bool inputNotRead = false;    // part of the input being read was not
    uint64_t inputsNotRead = 0;
};

FrameVerifier& Verification::VerifierFor(int pixelBytes)
{
    std::unique_ptr<FrameVerifier>& verifier = verifiers[pixelBytes == format.pixelBytes ? 0 : 1];
    if (!verifier)
        verifier = std::make_unique<FrameVerifier>(format, pixelBytes);
    return *verifier;
}

bool Verification::GaveUp() const
{
    // A run that began before this input does not count against it.
    return std::min(report.UnmatchedInARow(), report.Checked() - inputStart) >= UnmatchedRunLimit;
}

void Verification::Trouble(const std::string& name, const std::string& problem, Reading reading)
{
    // In order with the lines already printed, when both go to one place.
    fflush(stdout);
    fprintf(stderr, "orvix-verify: %s: %s\n", name.c_str(), problem.c_str());
    badInput = true;
    inputNotRead = inputNotRead || reading == notReadInFull;
}

const VerificationReport& Verification::Report()
{
    if (inputsNotRead)
        report.SetUnverified(CountText(inputsNotRead, "input", "inputs")
                             + " not read in full, named above");
    return report;
}

void Verification::VerifyInput(const std::wstring& argument)
{
    const InputFiles input = ExpandInput(argument);
    const std::string name = Utf8(argument);
    inputStart = report.Checked();
    inputNotRead = false;
    for (size_t index = 0; index < input.files.size(); ++index) {
        const std::wstring& path = input.files[index];
        std::string stop;    // where in a file of raw frames reading stopped
        if (IsStillPath(path))
            VerifyStill(path, Utf8(path));
        else
            VerifyRawFrames(path, Utf8(path), &stop);
        if (GaveUp()) {
            if (input.series)
                stop = Utf8(path) + (stop.empty() ? "" : ", " + stop);
            SayStopped(name, stop, FilesLeftText(input, index));
            break;
        }
    }
    if (input.series && input.files.empty())
        Trouble(name,
                "no file of this numbered series exists with a first number from 0 to "
                    + std::to_string(SeriesStartNumbers - 1)
                    + (input.laterFiles ? "; " + LaterFilesText(input) : ""),
                notReadInFull);
    else if (input.laterFiles)
        Trouble(name,
                "the series ends at number " + std::to_string(input.endNumber)
                    + ", the first missing (" + Utf8(input.missing) + "); " + LaterFilesText(input),
                notReadInFull);
    if (inputNotRead)
        ++inputsNotRead;
}

void Verification::SayStopped(const std::string& name, const std::string& stop,
                              const std::string& filesLeft)
{
    Trouble(name,
            "stopped at " + stop + ": " + std::to_string(UnmatchedRunLimit)
                + " frames in a row match no frame of format " + std::to_string(format.index) + " ("
                + FormatSummary(CaptureFormatAt(format.index))
                + "); is this a capture in that format?" + filesLeft,
            filesLeft.empty() ? readInFull : notReadInFull);
}

void Verification::VerifyStill(const std::wstring& path, const std::string& name)
{
    StillImage still;
    std::string error;
    if (!ReadStill(path, format.width, format.height, format.pixelBytes == 4, &still, &error)) {
        Trouble(name, "cannot verify this still: " + error, notReadInFull);
        return;
    }
    FrameVerifier& verifier = VerifierFor(still.pixelBytes);
    // A still keeps no fourth bytes when it has three bytes a pixel.
    printf("Input:         %s, a %d-bit still%s\n", name.c_str(), still.pixelBytes * 8,
           still.pixelBytes < format.pixelBytes ? ", compared by its colour bytes" : "");
    VerifyNextFrame(verifier, report, still.pixels.data(), still.pixels.size(),
                    FramePlace{name, false, 0});
}

void Verification::VerifyRawFrames(const std::wstring& path, const std::string& name,
                                   std::string* stop)
{
    RawFrameFile file;
    std::string error;
    if (!file.Open(path, &error)) {
        Trouble(name, "cannot open it: " + error, notReadInFull);
        return;
    }
    const uint64_t frameBytes = format.frameBytes;
    const uint64_t wholeFrames = file.Size() / frameBytes;
    const uint64_t restBytes = file.Size() % frameBytes;
    printf("Input:         %s, %s: %s%s\n", name.c_str(),
           CountText(file.Size(), "byte", "bytes").c_str(),
           CountText(wholeFrames, "frame", "frames").c_str(),
           restBytes ? (" and " + CountText(restBytes, "byte", "bytes")).c_str() : "");
    if (file.Size() == 0) {
        Trouble(name, "the file is empty: it holds no frame", readInFull);
        return;
    }
    if (restBytes)
        Trouble(name,
                "the file is not a whole number of frames of " + GroupedDigits(frameBytes)
                    + " bytes: the last " + CountText(restBytes, "byte is", "bytes are")
                    + " part of a frame",
                readInFull);
    frame.resize(format.frameBytes);
    FrameVerifier& verifier = VerifierFor(format.pixelBytes);
    for (uint64_t offset = 0; offset < file.Size(); offset += frameBytes) {
        size_t read = 0;
        if (!file.Read(frame.data(), frame.size(), &read, &error)) {
            Trouble(name, "reading at byte " + GroupedDigits(offset) + " failed: " + error,
                    notReadInFull);
            return;
        }
        if (read == 0) {
            Trouble(name, "the file ended at byte " + GroupedDigits(offset) + ", before its size",
                    notReadInFull);
            return;
        }
        VerifyNextFrame(verifier, report, frame.data(), read, FramePlace{name, true, offset});
        if (GaveUp()) {
            *stop = "byte " + GroupedDigits(offset + read);
            // The rest of the file is not read; the caller says why.
            inputNotRead = inputNotRead || offset + read < file.Size();
            return;
        }
    }
}
}    // namespace

int wmain(int argc, wchar_t** argv)
{
    VerifyOptions options;
    std::string error;
    if (!ParseVerifyOptions(argc - 1, argv + 1, &options, &error)) {
        fprintf(stderr, "orvix-verify: %s\nRun orvix-verify --help for the options.\n",
                error.c_str());
        return exitBadOption;
    }
    if (options.showHelp) {
        fputs(VerifyUsage().c_str(), stdout);
        return exitExact;
    }
    if (options.showVersion) {
        printf("orvix-verify %s\n", ORVIX_VERSION);
        return exitExact;
    }
    FaultScenario scenario = options.scenario;
    std::string origin = options.scenarioGiven ? "given with --faults" : "";
    if (options.scenarioDevice) {
        if (!ReadStoredScenario(options.scenarioDevice, &scenario, &error)) {
            fprintf(stderr, "orvix-verify: --device %d: %s; no file was verified\n",
                    options.scenarioDevice, error.c_str());
            return exitNoScenario;
        }
        origin = "stored for " + Utf8(FilterVariants[options.scenarioDevice - 1].displayName);
    }
    const bool underScenario = options.scenarioGiven || options.scenarioDevice;
    FrameFormat format;
    DescribeFrameFormat(options.formatIndex, &format);
    // Stills are read through the imaging component.
    ComApartment runtime(COINIT_MULTITHREADED);
    printf("Format:        %d, %s, %s bytes a frame\n", options.formatIndex,
           FormatSummary(CaptureFormatAt(format.index)).c_str(),
           GroupedDigits(format.frameBytes).c_str());

    Verification verification(format, !options.midStream, underScenario ? &scenario : nullptr,
                              origin);
    for (const std::wstring& input : options.inputs)
        verification.VerifyInput(input);
    verification.Report().Print(stdout);
    if (verification.HadBadInput())
        return exitBadInput;
    return verification.Report().AllExactAndConsecutive() ? exitExact : exitNotExact;
}
