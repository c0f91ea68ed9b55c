// orvix-capture: captures frames from a video input device through the platform's filter
// graph, writes the first as an image and reports what the capture achieved.
#include "CaptureFigures.h"
#include "CaptureGraph.h"
#include "CaptureOptions.h"
#include "FormatText.h"
#include "FrameCollector.h"
#include "FrameImage.h"
#include "Orvix61Test.h"
#include "ToolText.h"
#include "VideoDevices.h"
#include "camera/FaultScenario.h"
#include "framework/Ownership.h"
#include "framework/Result.h"
#include "verify/FrameFormat.h"

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

namespace {
enum ExitCode
{
    exitCaptured = 0,
    exitCaptureFailed = 1,
    exitBadOption = 2,
    exitNotRegistered = 3,
    exitNoSuchDevice = 4,
    exitNotExact = 5,
    exitStreamEnded = 6,
    exitNoFrames = 7,
};

// "The device is not ready. (0x80070015)", or the code alone where the system has no message
// for it: a text that holds the code itself ("Error: 0x80070015", as Wine gives for a code
// it has no message for) would name it twice.
std::string ResultText(HRESULT hr)
{
    char text[300] = {};
    char code[16];
    snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    if (AMGetErrorTextA(hr, text, sizeof(text)) == 0 || !text[0])
        return code;
    std::string message(text);
    std::string lower(message);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(tolower(c)); });
    char digits[16];
    snprintf(digits, sizeof(digits), "%08lx", static_cast<unsigned long>(hr));
    if (lower.find(digits) != std::string::npos)
        return code;
    while (!message.empty()
           && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message + " (" + code + ")";
}

int Fail(int exitCode, const std::string& message)
{
    fprintf(stderr, "orvix-capture: %s\n", message.c_str());
    return exitCode;
}

const char* notRegisteredHelp =
    "the Orvix61 module is not registered, so its devices are not listed.\n"
    "Register it first: regsvr32 Orvix61Test.ax (scripts/main.sh does this under Wine)";

int ListDevices()
{
    std::vector<VideoDevice> devices;
    const HRESULT hr = ListVideoDevices(&devices);
    if (FAILED(hr))
        return Fail(exitCaptureFailed, "cannot enumerate video input devices: " + ResultText(hr));
    printf("Video input devices: %u\n", unsigned(devices.size()));
    for (const VideoDevice& device : devices)
        printf("  %s\n", Utf8(device.name).c_str());
    if (!OrvixModuleRegistered())
        fprintf(stderr, "Note: %s\n", notRegisteredHelp);
    return exitCaptured;
}

// The connected format, or null when it is not a video-info format the tool can read.
const VIDEOINFOHEADER* VideoHeader(const AM_MEDIA_TYPE& type)
{
    if (!IsEqualGUID(type.formattype, FORMAT_VideoInfo) || !type.pbFormat
        || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

// What an event that ended the stream says, by name and with its result.
std::string StreamEndText(const GraphEnd& end)
{
    switch (end.event) {
    case EC_COMPLETE:
        return "the device's stream ended (EC_COMPLETE)";
    case EC_DEVICE_LOST:
        return "the device was lost (EC_DEVICE_LOST)";
    case EC_ERRORABORT:
        return "the stream was aborted (EC_ERRORABORT, " + ResultText(end.result) + ")";
    case EC_STREAM_ERROR_STOPPED:
        return "the stream stopped on an error (EC_STREAM_ERROR_STOPPED, " + ResultText(end.result)
               + ")";
    default:
        return "the stream was ended by the user (EC_USERABORT)";
    }
}

// The end a fault scenario gives the stream that an event reports; StreamEnd::None for an
// event no scenario causes.
StreamEnd ScenarioEndOf(const GraphEnd& end)
{
    switch (end.event) {
    case EC_COMPLETE:
        return StreamEnd::EndOfStream;
    case EC_DEVICE_LOST:
        return StreamEnd::DeviceLost;
    case EC_ERRORABORT:
        return StreamEnd::Abort;
    default:
        return StreamEnd::None;
    }
}

// Waits for the frames while watching for a stream that ends or stalls: returns
// exitCaptured once they came, or the code that says why they did not, with `why` and,
// for a stream that ended, the event that ended it in `end`.
int WaitForFrames(CaptureGraph& graph, FrameCollector& collector, int wanted, GraphEnd* end,
                  std::string* why)
{
    const HANDLE waits[2] = {collector.Done(), graph.EventHandle()};
    const DWORD waitCount = waits[1] ? 2 : 1;
    DWORD lastArrival = GetTickCount();
    int lastCount = 0;
    for (;;) {
        if (WaitForMultipleObjects(waitCount, waits, FALSE, 250) == WAIT_OBJECT_0)
            return exitCaptured;
        // The frames are counted after the events are read: the worker hands a frame to
        // the grabber before it reports the end that follows it, so a count taken first
        // could miss the last frames before the end.
        const bool ended = graph.StreamEnded(end);
        const int count = collector.Count();
        const std::string progress = " after " + GroupedDigits(uint64_t(count)) + " of "
                                     + CountText(uint64_t(wanted), "frame", "frames");
        if (ended) {
            if (count >= wanted)
                return exitCaptured;
            *why = StreamEndText(*end) + progress;
            return exitStreamEnded;
        }
        const DWORD now = GetTickCount();
        if (count != lastCount) {
            lastCount = count;
            lastArrival = now;
        } else if (now - lastArrival > captureFrameTimeoutMs) {
            *why = "no frame came for " + std::to_string(captureFrameTimeoutMs / 1000) + " s"
                   + progress;
            return exitNoFrames;
        }
    }
}

// The scenario the filter runs, or will run at its next start, as it reports it.
HRESULT FilterScenario(IIPFaultScenario* faults, FaultScenario* scenario, std::string* text)
{
    CoTaskMemPtr<char> reported;
    RETURN_IF_FAILED(faults->GetFaultScenario(reported.Put()));
    char problem[ScenarioProblemBytes];
    if (!reported || !FaultScenario::Parse(reported.Get(), scenario, problem))
        return E_UNEXPECTED;
    *text = reported.Get();
    return S_OK;
}

void PrintFigures(const CaptureFigures& figures)
{
    printf("Frames:      %d\n", figures.frameCount);
    if (figures.hasRate)
        printf("Rate:        %.2f frames per second achieved\n", figures.framesPerSecond);
    else
        printf("Rate:        needs two frames or more\n");
    if (figures.hasSpacing)
        printf("Time stamps: %.3f ms apart on average (shortest %.3f ms, longest %.3f ms)\n",
               figures.meanSpacingMs, figures.shortestSpacingMs, figures.longestSpacingMs);
    else
        printf("Time stamps: needs two stamped frames or more\n");
}

int Capture(const CaptureOptions& options)
{
    std::vector<VideoDevice> devices;
    HRESULT hr = ListVideoDevices(&devices);
    if (FAILED(hr))
        return Fail(exitCaptureFailed, "cannot enumerate video input devices: " + ResultText(hr));
    const VideoDevice* device = nullptr;
    for (const VideoDevice& candidate : devices)
        if (candidate.name == options.deviceName)
            device = &candidate;
    if (!device) {
        if (IsOrvixDeviceName(options.deviceName) && !OrvixModuleRegistered())
            return Fail(exitNotRegistered, notRegisteredHelp);
        return Fail(exitNoSuchDevice, "no video input device is named \"" + Utf8(options.deviceName)
                                          + "\" (orvix-capture --list shows the devices)");
    }

    ComPtr<IBaseFilter> filter;
    hr = device->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid());
    if (FAILED(hr))
        return Fail(exitCaptureFailed,
                    "cannot open \"" + Utf8(options.deviceName) + "\": " + ResultText(hr));

    // Set before the connection is made: the scenario names the orientation the pin lists.
    ComPtr<IIPFaultScenario> faults;
    filter->QueryInterface(IID_IIPFaultScenario, faults.PutVoid());
    if (options.scenarioGiven) {
        if (!faults)
            return Fail(exitCaptureFailed, "--faults needs an Orvix61 device: \""
                                               + Utf8(options.deviceName)
                                               + "\" takes no fault scenario");
        char text[MaxScenarioTextBytes];
        options.scenario.Format(text, sizeof(text));
        if (FAILED(hr = faults->SetFaultScenario(text)))
            return Fail(exitCaptureFailed, "setting the fault scenario failed: " + ResultText(hr));
    }

    // The collector outlives the graph, which calls it until it stops.
    FrameCollector collector(options.frameCount, stderr);
    CaptureGraph graph;
    std::string failedStep;
    if (FAILED(hr = graph.Build(filter.Get(), options.deviceName, &failedStep))
        || FAILED(hr = graph.Connect(options.formatIndex, &failedStep)))
        return Fail(exitCaptureFailed, failedStep + " failed: " + ResultText(hr));

    CMediaTypeRecord format;
    const VIDEOINFOHEADER* header = nullptr;
    if (SUCCEEDED(graph.ConnectedFormat(&format)))
        header = VideoHeader(format);
    if (!header)
        return Fail(exitCaptureFailed,
                    "the device connected in a format that is not video-info video");

    // An Orvix61 device runs a format at the table's rate, whatever interval its type states.
    const BITMAPINFOHEADER& bitmap = header->bmiHeader;
    FrameFormat tableFormat;
    const bool inTable =
        FindFrameFormat(bitmap.biWidth, labs(bitmap.biHeight), bitmap.biBitCount, &tableFormat);
    const double cameraRate =
        inTable && IsOrvixDeviceName(options.deviceName) ? tableFormat.nominalRate : 0;
    printf("Device:      %s\n", Utf8(options.deviceName).c_str());
    printf("Format:      %s\n", FormatText(*header, format.subtype).c_str());
    printf("%s\n", RateText(cameraRate, header->AvgTimePerFrame).c_str());
    fflush(stdout);

    // The scenario the stream will run; read again once it runs, and verified against.
    FaultScenario scenario;
    std::string scenarioText;
    if (faults && FAILED(hr = FilterScenario(faults.Get(), &scenario, &scenarioText)))
        return Fail(exitCaptureFailed,
                    "asking the device for its fault scenario failed: " + ResultText(hr));
    const bool underScenario = options.scenarioGiven || !scenario.IsEmpty();
    const std::string origin =
        options.scenarioGiven ? "given with --faults" : "stored for " + Utf8(options.deviceName);
    // With --verify the report names it.
    if (underScenario && !options.verify)
        printf("Scenario:    %s (%s)\n", scenarioText.empty() ? "none" : scenarioText.c_str(),
               origin.c_str());
    fflush(stdout);

    if (options.verify) {
        if (!inTable)
            return Fail(exitCaptureFailed, "--verify needs one of the Orvix61 camera's formats; "
                                           "the device connected in "
                                               + std::to_string(bitmap.biWidth) + "x"
                                               + std::to_string(labs(bitmap.biHeight)) + " at "
                                               + std::to_string(bitmap.biBitCount) + " bits");
        collector.VerifyFrames(tableFormat, bitmap.biHeight > 0,
                               underScenario ? &scenario : nullptr, origin);
    }

    if (FAILED(hr = graph.Run(&collector))) {
        graph.Stop();
        return Fail(exitCaptureFailed, "running the graph failed: " + ResultText(hr));
    }
    FaultScenario running;
    std::string runningText;
    if (options.verify && faults
        && (FAILED(FilterScenario(faults.Get(), &running, &runningText)) || running != scenario))
        collector.AddUnverified("the stream runs a scenario other than the one verified against ("
                                + (runningText.empty() ? std::string("none") : runningText)
                                + "), which changed as it started");
    GraphEnd end;
    std::string why;
    const int waited = WaitForFrames(graph, collector, options.frameCount, &end, &why);
    collector.EndCapture();
    graph.Stop();
    if (waited != exitCaptured) {
        fflush(stdout);
        fprintf(stderr, "orvix-capture: %s; what came is reported\n", why.c_str());
        // Under a scenario that ends the stream otherwise, say so beside the end that came.
        collector.StoppedEarly(why
                                   + (waited == exitStreamEnded && underScenario
                                          ? ", not as the scenario ends the stream"
                                          : ""),
                               ScenarioEndOf(end), end.result);
    }

    LARGE_INTEGER ticksPerSecond;
    QueryPerformanceFrequency(&ticksPerSecond);
    PrintFigures(ComputeFigures(collector.Frames(), ticksPerSecond.QuadPart));
    if (options.verify) {
        printf("Verification of every frame against the camera's stream:\n");
        collector.PrintVerification(stdout);
    }

    const std::vector<BYTE> firstFrame = collector.FirstFrame();
    std::string error;
    if (firstFrame.empty()) {
        printf("Image:       none saved: no frame came\n");
        return waited;
    }
    if (!SaveFrameImage(options.imagePath, header->bmiHeader, firstFrame.data(), firstFrame.size(),
                        &error))
        return Fail(exitCaptureFailed,
                    "cannot save the first frame to \"" + Utf8(options.imagePath) + "\": " + error);
    printf("Image:       %s (first frame, 24-bit %s)\n",
           Utf8(FullPathName(options.imagePath)).c_str(),
           ImageFileTypeFor(options.imagePath) == ImageFileType::Bmp ? "BMP" : "PNG");
    if (waited != exitCaptured)
        return waited;
    if (options.verify && !collector.VerifiedExactAndConsecutive())
        return exitNotExact;
    return exitCaptured;
}

}    // namespace

int wmain(int argc, wchar_t** argv)
{
    CaptureOptions options;
    std::string error;
    if (!ParseCaptureOptions(argc - 1, argv + 1, &options, &error)) {
        fprintf(stderr, "orvix-capture: %s\nRun orvix-capture --help for the options.\n",
                error.c_str());
        return exitBadOption;
    }
    if (options.showHelp) {
        fputs(CaptureUsage(), stdout);
        return exitCaptured;
    }
    if (options.showVersion) {
        printf("orvix-capture %s\n", ORVIX_VERSION);
        return exitCaptured;
    }
    ComApartment runtime(COINIT_MULTITHREADED);
    if (FAILED(runtime.Result()))
        return Fail(exitCaptureFailed,
                    "cannot start the component runtime: " + ResultText(runtime.Result()));
    return options.listDevices ? ListDevices() : Capture(options);
}
