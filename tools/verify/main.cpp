// orvix-verify: verifies frames a capture program received from an Orvix61 device, read
// from files: raw frames back to back, stills, or numbered series of stills.
#include "FrameInputs.h"
#include "ToolText.h"
#include "VerifyOptions.h"
#include "framework/Ownership.h"
#include "verify/FrameFormat.h"
#include "verify/FrameVerifier.h"
#include "verify/VerificationReport.h"

#include <windows.h>

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
};

// Verifies every input in turn into one report; says what it could not read.
class Verification
{
public:
    explicit Verification(const FrameFormat& format) : format(format), report(false) {}

    // A file, or each file of a numbered series.
    void VerifyInput(const std::wstring& argument);
    bool HadBadInput() const { return badInput; }
    // True once the input has shown itself to be no capture of the format.
    bool GaveUp() const { return report.UnmatchedInARow() >= UnmatchedRunLimit; }
    const VerificationReport& Report() const { return report; }

private:
    void VerifyRawFrames(const std::wstring& path, const std::string& name);
    void VerifyStill(const std::wstring& path, const std::string& name);
    FrameVerifier& VerifierFor(int pixelBytes);
    void Trouble(const std::string& name, const std::string& problem);

    const FrameFormat format;
    VerificationReport report;
    // One for frames as delivered, one for 24-bit stills of RGB32 frames; made when needed.
    std::unique_ptr<FrameVerifier> verifiers[2];
    std::vector<BYTE> frame;
    bool badInput = false;
};

FrameVerifier& Verification::VerifierFor(int pixelBytes)
{
    std::unique_ptr<FrameVerifier>& verifier = verifiers[pixelBytes == format.pixelBytes ? 0 : 1];
    if (!verifier)
        verifier = std::make_unique<FrameVerifier>(format, pixelBytes);
    return *verifier;
}

void Verification::Trouble(const std::string& name, const std::string& problem)
{
    // In order with the lines already printed, when both go to one place.
    fflush(stdout);
    fprintf(stderr, "orvix-verify: %s: %s\n", name.c_str(), problem.c_str());
    badInput = true;
}

void Verification::VerifyInput(const std::wstring& argument)
{
    const std::vector<std::wstring> paths = ExpandInput(argument);
    const std::string lastFirstNumber = std::to_string(SeriesStartNumbers - 1);
    if (paths.empty())
        Trouble(Utf8(argument), "no file of this numbered series exists (its first number is 0 to "
                                    + lastFirstNumber + ")");
    for (const std::wstring& path : paths) {
        if (GaveUp())
            return;
        const std::string name = Utf8(path);
        if (IsStillPath(path))
            VerifyStill(path, name);
        else
            VerifyRawFrames(path, name);
    }
}

void Verification::VerifyStill(const std::wstring& path, const std::string& name)
{
    StillImage still;
    std::string error;
    if (!ReadStill(path, format.width, format.height, format.pixelBytes == 4, &still, &error)) {
        Trouble(name, "cannot verify this still: " + error);
        return;
    }
    FrameVerifier& verifier = VerifierFor(still.pixelBytes);
    // A still keeps no fourth bytes when it has three bytes a pixel.
    printf("Input:         %s, a %d-bit still%s\n", name.c_str(), still.pixelBytes * 8,
           still.pixelBytes < format.pixelBytes ? ", compared by its colour bytes" : "");
    report.Add(verifier.Verify(still.pixels.data(), still.pixels.size(), report.ExpectedNext()),
               FramePlace{name, false, 0});
}

void Verification::VerifyRawFrames(const std::wstring& path, const std::string& name)
{
    RawFrameFile file;
    std::string error;
    if (!file.Open(path, &error)) {
        Trouble(name, "cannot open it: " + error);
        return;
    }
    const uint64_t frameBytes = format.frameBytes;
    const uint64_t wholeFrames = file.Size() / frameBytes;
    const uint64_t restBytes = file.Size() % frameBytes;
    printf("Input:         %s, %s bytes: %s frames%s\n", name.c_str(),
           GroupedDigits(file.Size()).c_str(), GroupedDigits(wholeFrames).c_str(),
           restBytes ? (" and " + GroupedDigits(restBytes) + " bytes").c_str() : "");
    if (file.Size() == 0) {
        Trouble(name, "the file is empty: it holds no frame");
        return;
    }
    if (restBytes)
        Trouble(name, "the file is not a whole number of frames of " + GroupedDigits(frameBytes)
                          + " bytes: the last " + GroupedDigits(restBytes)
                          + " bytes are part of a frame");
    frame.resize(format.frameBytes);
    FrameVerifier& verifier = VerifierFor(format.pixelBytes);
    for (uint64_t offset = 0; offset < file.Size(); offset += frameBytes) {
        size_t read = 0;
        if (!file.Read(frame.data(), frame.size(), &read, &error)) {
            Trouble(name, "reading at byte " + GroupedDigits(offset) + " failed: " + error);
            return;
        }
        if (read == 0) {
            Trouble(name, "the file ended at byte " + GroupedDigits(offset) + ", before its size");
            return;
        }
        report.Add(verifier.Verify(frame.data(), read, report.ExpectedNext()),
                   FramePlace{name, true, offset});
        if (GaveUp()) {
            Trouble(name, "stopped at byte " + GroupedDigits(offset + read) + ": "
                              + std::to_string(UnmatchedRunLimit)
                              + " frames in a row match no frame of format "
                              + std::to_string(format.index) + " ("
                              + FormatSummary(CaptureFormatAt(format.index))
                              + "); is this a capture in that format?");
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
    FrameFormat format;
    DescribeFrameFormat(options.formatIndex, &format);
    // Stills are read through the imaging component.
    ComApartment runtime(COINIT_MULTITHREADED);
    printf("Format:        %d, %s, %s bytes a frame\n", options.formatIndex,
           FormatSummary(CaptureFormatAt(format.index)).c_str(),
           GroupedDigits(format.frameBytes).c_str());

    Verification verification(format);
    for (const std::wstring& input : options.inputs)
        verification.VerifyInput(input);
    verification.Report().Print(stdout);
    if (verification.HadBadInput())
        return exitBadInput;
    return verification.Report().AllExactAndConsecutive() ? exitExact : exitNotExact;
}
