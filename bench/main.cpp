// orvix-bench: what a noise frame of each catalogue format costs, filled alone and
// through the platform's filter graph, made from the model of rand() and with rand()
// per byte, against the platform's memset of the same buffer.
#include "FillTiming.h"
#include "GraphTiming.h"
#include "camera/FormatCatalogue.h"
#include "camera/NoiseGenerator.h"
#include "camera/TestCamera.h"
#include "framework/Ownership.h"
#include "verify/VerificationReport.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

enum ExitCode
{
    exitMeasured = 0,
    exitMeasurementFailed = 1,
    exitBadOption = 2,
};

const NoiseKernel AllKernels[] = {NoiseKernel::Sse2, NoiseKernel::Avx2, NoiseKernel::Avx512};

std::string Usage()
{
    std::string usage = "Usage: orvix-bench [--format N] [--model-only] [--kernel K]\n"
                        "  --format N     only catalogue format N:\n";
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index)
        usage += "                   " + std::to_string(index) + "  "
                 + FormatSummary(CaptureFormatAt(index)) + "\n";
    return usage
           + "  --model-only   skip the slow rand()-per-byte figures\n"
             "  --kernel K     make and verify frames with no kernel faster than K (SSE2,\n"
             "                 AVX2 or AVX-512), as on a processor without the faster ones\n";
}

// Frames through the graph: the model's run takes the memory readings at 100 and 1,000
// frames; rand() per byte makes about ten large frames a second.
constexpr int modelGraphFrames = 1000;
constexpr double modelGraphSeconds = 2.0;
constexpr int perByteGraphFrames = 10;
constexpr double perByteGraphSeconds = 1.0;
constexpr double goalFillRatio = 4.0;
constexpr double goalRateFactor = 5.0;
constexpr double goalVerifyRatio = 2.0;

struct Options
{
    int onlyFormat = 0;    // 0: every format
    bool perByte = true;
    NoiseKernel fastestKernel = NoiseKernel::Avx512;
};

bool KernelNamed(const std::wstring& name, NoiseKernel* kernel)
{
    for (NoiseKernel candidate : AllKernels) {
        const std::string text = NoiseKernelName(candidate);
        if (_wcsicmp(name.c_str(), std::wstring(text.begin(), text.end()).c_str()) == 0) {
            *kernel = candidate;
            return true;
        }
    }
    return false;
}

bool ParseOptions(int count, wchar_t** arguments, Options* options, bool* help)
{
    for (int i = 0; i < count; ++i) {
        const std::wstring argument = arguments[i];
        if (argument == L"--help" || argument == L"-h") {
            *help = true;
        } else if (argument == L"--model-only") {
            options->perByte = false;
        } else if (argument == L"--kernel" && i + 1 < count) {
            if (!KernelNamed(arguments[++i], &options->fastestKernel))
                return false;
        } else if (argument == L"--format" && i + 1 < count) {
            wchar_t* end = nullptr;
            const long index = std::wcstol(arguments[++i], &end, 10);
            if (*end || index < FirstFormatIndex || index > LastFormatIndex)
                return false;
            options->onlyFormat = int(index);
        } else {
            return false;
        }
    }
    return true;
}

std::string Rate(double bytesPerSecond)
{
    char text[32];
    if (bytesPerSecond >= 1e9)
        std::snprintf(text, sizeof(text), "%.1f GB/s", bytesPerSecond / 1e9);
    else
        std::snprintf(text, sizeof(text), "%.1f MB/s", bytesPerSecond / 1e6);
    return text;
}

std::string ProcessorName()
{
    char name[128] = {};
    DWORD bytes = sizeof(name) - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                     "ProcessorNameString", RRF_RT_REG_SZ, nullptr, name, &bytes)
        != ERROR_SUCCESS)
        return "unknown processor";
    std::string text(name);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// Wine names its version; Windows has no such export.
std::string PlatformName()
{
    using VersionFunction = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto wineVersion = ntdll ? reinterpret_cast<VersionFunction>(
                           reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
                             : nullptr;
    return wineVersion ? std::string("Wine ") + wineVersion() : "Windows";
}

void PrintMachine()
{
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    GlobalMemoryStatusEx(&memory);
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    std::printf("Machine:  %s, %lu logical processors, %.1f GB memory; %s\n",
                ProcessorName().c_str(), static_cast<unsigned long>(system.dwNumberOfProcessors),
                double(memory.ullTotalPhys) / 1e9, PlatformName().c_str());
    std::printf("Date:     %04u-%02u-%02u %02u:%02u\n", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute);
    std::printf("Noise:    %s\n\n",
                PlatformGeneratorIsModelled()
                    ? (std::string("the platform's rand() is the model; frames come from the ")
                       + NoiseKernelName(FastestNoiseKernel()) + " kernel")
                          .c_str()
                    : "the platform's rand() is NOT the model; every frame draws rand() per byte");
}

// Everything measured for one format.
struct FormatFigures
{
    int index = 0;
    FrameLayout layout{};
    size_t frameBytes = 0;
    double nominalRate = 0;
    double memsetMs = 0;
    FillFigures model;
    FillFigures perByte;    // only with options.perByte
    std::vector<std::pair<NoiseKernel, double>> kernelMs;
    GraphFigures modelGraph;
    GraphFigures perByteGraph;    // only with options.perByte
    VerifyFigures verify;
    GraphFigures verifiedGraph;    // the model's frames, each verified on the streaming thread
    bool measured = false;         // the frame buffer and every graph run were had
};

FormatFigures MeasureFormat(int index, const Options& options)
{
    FormatFigures figures;
    figures.index = index;
    BITMAPINFOHEADER header = {};
    FillBitmapHeader(index, FirstFormatIndex, &header);
    figures.layout = {header.biWidth, header.biHeight, header.biBitCount};
    TestCamera camera;
    camera.ConfigureGeometry(header.biWidth, header.biHeight, header.biBitCount);
    figures.frameBytes = size_t(camera.Geometry().frameBytes);
    figures.nominalRate = camera.Geometry().frameRate;

    // A frame buffer, and a second for the frame verified while the first is filled.
    BYTE* buffer = static_cast<BYTE*>(
        VirtualAlloc(nullptr, 2 * figures.frameBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!buffer)
        return figures;
    std::memset(buffer, 0, figures.frameBytes);
    figures.memsetMs = MemsetMsPerFrame(buffer, figures.frameBytes);
    figures.model = CaptureFrameMsPerFrame(figures.layout, buffer, true);
    if (options.perByte)
        figures.perByte = CaptureFrameMsPerFrame(figures.layout, buffer, false);
    figures.verify = VerifyMsPerFrame(index, figures.layout, buffer + figures.frameBytes, buffer);
    for (NoiseKernel kernel : AllKernels)
        if (ProcessorRuns(kernel))
            figures.kernelMs.emplace_back(kernel,
                                          KernelMsPerFrame(kernel, buffer, figures.frameBytes));
    VirtualFree(buffer, 0, MEM_RELEASE);

    figures.modelGraph =
        RunThroughGraph(index, modelGraphFrames, modelGraphSeconds, GrabberWork::None);
    if (options.perByte)
        figures.perByteGraph = RunThroughGraph(index, perByteGraphFrames, perByteGraphSeconds,
                                               GrabberWork::DrawFromRand);
    figures.verifiedGraph =
        RunThroughGraph(index, modelGraphFrames, modelGraphSeconds, GrabberWork::Verify);
    figures.measured = SUCCEEDED(figures.modelGraph.result)
                       && SUCCEEDED(figures.perByteGraph.result)
                       && SUCCEEDED(figures.verifiedGraph.result);
    return figures;
}

std::string Figure(const char* format, double value)
{
    char text[48];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

// One line of the table: the rand()-per-byte column shows "-" where nothing was measured.
void PrintRow(const std::string& label, bool perByteMeasured, const std::string& perByte,
              const std::string& model)
{
    std::printf("    %-34s %16s %14s\n", label.c_str(), perByteMeasured ? perByte.c_str() : "-",
                model.c_str());
}

void PrintFormat(const FormatFigures& figures, const Options& options)
{
    std::printf("Format %d: RGB%d %ldx%ld, %s bytes a frame, nominal %.0f fps\n", figures.index,
                int(figures.layout.bitCount), long(figures.layout.width),
                long(-figures.layout.height), GroupedDigits(figures.frameBytes).c_str(),
                figures.nominalRate);
    if (figures.memsetMs <= 0) {
        std::printf("  no memory for a frame\n\n");
        return;
    }
    const bool perByte = options.perByte;
    const double bytes = double(figures.frameBytes);
    PrintRow("", true, "rand() per byte", figures.model.fromModel ? "model" : "model (unused!)");
    std::printf("  Frame fill alone (CaptureFrame)\n");
    PrintRow("ms per frame", perByte, Figure("%.3f", figures.perByte.msPerFrame),
             Figure("%.3f", figures.model.msPerFrame));
    PrintRow("frames per second", perByte, Figure("%.1f", 1000.0 / figures.perByte.msPerFrame),
             Figure("%.1f", 1000.0 / figures.model.msPerFrame));
    PrintRow("bytes per second", perByte, Rate(bytes * 1000.0 / figures.perByte.msPerFrame),
             Rate(bytes * 1000.0 / figures.model.msPerFrame));
    PrintRow("ratio to memset (" + Figure("%.3f", figures.memsetMs) + " ms)", perByte,
             Figure("%.1fx", figures.perByte.msPerFrame / figures.memsetMs),
             Figure("%.2fx", figures.model.msPerFrame / figures.memsetMs));

    std::printf("  Verification (FrameVerifier::Verify), beside the fill\n");
    PrintRow("ms per frame of the stream", false, "",
             Figure("%.3f", figures.verify.exactMsPerFrame)
                 + (figures.verify.exact ? "" : " (NOT exact!)"));
    PrintRow("fill, timed in turn with it", false, "",
             Figure("%.3f", figures.verify.fillMsPerFrame));
    PrintRow("ratio to the fill", false, "",
             Figure("%.2fx", figures.verify.exactMsPerFrame / figures.verify.fillMsPerFrame));
    PrintRow("ms per frame that matches none", false, "",
             Figure("%.3f", figures.verify.unmatchedMsPerFrame));

    std::printf("  Through Wine's graph (Sample Grabber, Null Renderer, no clock)\n");
    for (const GraphFigures* graph :
         {&figures.modelGraph, &figures.perByteGraph, &figures.verifiedGraph}) {
        if (FAILED(graph->result)) {
            std::printf("    failed %s: 0x%08lX\n\n", graph->failedStep.c_str(),
                        static_cast<unsigned long>(graph->result));
            return;
        }
    }
    const GraphFigures& model = figures.modelGraph;
    const GraphFigures& drawn = figures.perByteGraph;
    PrintRow("frames delivered", perByte, GroupedDigits(drawn.frames), GroupedDigits(model.frames));
    PrintRow("frames per second", perByte, Figure("%.1f", drawn.framesPerSecond),
             Figure("%.1f", model.framesPerSecond));
    PrintRow("CPU ms per frame", perByte, Figure("%.3f", drawn.cpuMsPerFrame),
             Figure("%.3f", model.cpuMsPerFrame));
    PrintRow("private bytes after 100 frames", false, "",
             GroupedDigits(model.privateBytesAfter100));
    PrintRow("private bytes after 1,000 frames", false, "",
             GroupedDigits(model.privateBytesAfter1000));
    if (!model.fromModel)
        std::printf("    (the camera went back to rand() per byte during the model's run)\n");
    const GraphFigures& verified = figures.verifiedGraph;
    std::printf("  Through Wine's graph, every frame verified on the streaming thread\n");
    PrintRow("frames per second", false, "", Figure("%.1f", verified.framesPerSecond));
    PrintRow("CPU ms per frame", false, "", Figure("%.3f", verified.cpuMsPerFrame));
    PrintRow("every frame exact and consecutive", false, "",
             verified.verifiedExact && verified.fromModel ? "yes" : "NO");

    std::printf("  Kernels alone, ratio to memset:");
    for (const auto& kernel : figures.kernelMs)
        std::printf("  %s %.2fx", NoiseKernelName(kernel.first), kernel.second / figures.memsetMs);
    std::printf("\n\n");
}

}    // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    bool help = false;
    if (!ParseOptions(argc - 1, argv + 1, &options, &help)) {
        std::fputs(Usage().c_str(), stderr);
        return exitBadOption;
    }
    if (help) {
        std::fputs(Usage().c_str(), stdout);
        return exitMeasured;
    }
    LimitNoiseKernels(options.fastestKernel);
    ComApartment runtime(COINIT_MULTITHREADED);
    if (FAILED(runtime.Result())) {
        std::fprintf(stderr, "orvix-bench: cannot start the component runtime: 0x%08lX\n",
                     static_cast<unsigned long>(runtime.Result()));
        return exitMeasurementFailed;
    }

    std::printf("orvix-bench: the cost of a noise frame\n");
    PrintMachine();
    std::vector<FormatFigures> measured;
    for (int index = FirstFormatIndex; index <= LastFormatIndex; ++index) {
        if (!options.onlyFormat || options.onlyFormat == index) {
            measured.push_back(MeasureFormat(index, options));
            PrintFormat(measured.back(), options);
            std::fflush(stdout);
        }
    }

    std::printf("Goals: frame fill within %.0fx of memset; verifying a frame of the stream within "
                "%.0fx of its fill; at least %.0fx the nominal rate through the graph, with and "
                "without verification\n",
                goalFillRatio, goalVerifyRatio, goalRateFactor);
    bool allMeasured = true;
    for (const FormatFigures& figures : measured) {
        allMeasured = allMeasured && figures.measured;
        if (!figures.measured) {
            std::printf("  Format %d: not measured\n", figures.index);
            continue;
        }
        const double fillRatio = figures.model.msPerFrame / figures.memsetMs;
        const double rate = figures.modelGraph.framesPerSecond;
        const double goalRate = goalRateFactor * figures.nominalRate;
        const double verifyRatio = figures.verify.exactMsPerFrame / figures.verify.fillMsPerFrame;
        const double verifiedRate = figures.verifiedGraph.framesPerSecond;
        std::printf(
            "  Format %d: fill %.2fx memset, %s; verify %.2fx the fill, %s; graph %.0f fps "
            "against %.0f, %s; verified %.0f fps, %s\n",
            figures.index, fillRatio, fillRatio <= goalFillRatio ? "met" : "MISSED", verifyRatio,
            verifyRatio <= goalVerifyRatio && figures.verify.exact ? "met" : "MISSED", rate,
            goalRate, rate >= goalRate ? "met" : "MISSED", verifiedRate,
            verifiedRate >= goalRate && figures.verifiedGraph.verifiedExact ? "met" : "MISSED");
    }
    return allMeasured ? exitMeasured : exitMeasurementFailed;
}
