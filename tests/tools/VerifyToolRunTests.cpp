// orvix-verify run as a user runs it, on files made of the camera's frames: raw captures
// with frames removed, repeated, swapped, damaged, turned or cut short, stills as the
// capture tool and an imaging component write them, inputs that cannot be verified, and
// captures held against the fault scenario they were made under.
#include "ChildProcess.h"
#include "FrameImage.h"
#include "ModuleUnderTest.h"
#include "Orvix61Test.h"
#include "camera/FaultScenario.h"
#include "camera/FormatCatalogue.h"
#include "framework/Ownership.h"
#include "verify/FrameVerifier.h"
#include "verify/VerificationReport.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Frame = std::vector<BYTE>;

enum ExitCode
{
    exitExact = 0,
    exitNotExact = 1,
    exitBadOption = 2,
    exitBadInput = 3,
};

FrameFormat FormatOf(FormatIndex index)
{
    FrameFormat format;
    EXPECT_TRUE(DescribeFrameFormat(index, &format));
    return format;
}

Frame ModelFrame(const FrameFormat& format, uint64_t number)
{
    Frame bytes(format.frameBytes);
    FillNoise(FrameStartState(format, number), bytes.data(), bytes.size(), FastestNoiseKernel());
    return bytes;
}

std::vector<Frame> ModelFrames(const FrameFormat& format, const std::vector<uint64_t>& numbers)
{
    std::vector<Frame> frames;
    for (uint64_t number : numbers)
        frames.push_back(ModelFrame(format, number));
    return frames;
}

Frame RowsReversed(const FrameFormat& format, const Frame& frame)
{
    Frame reversed(frame.size());
    for (LONG row = 0; row < format.height; ++row)
        memcpy(reversed.data() + size_t(format.height - 1 - row) * format.rowBytes,
               frame.data() + size_t(row) * format.rowBytes, format.rowBytes);
    return reversed;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool WriteFileBytes(const std::wstring& path, const std::vector<Frame>& parts)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    for (const Frame& part : parts) {
        DWORD written = 0;
        if (!file.IsValid()
            || !WriteFile(file.Get(), part.data(), DWORD(part.size()), &written, nullptr)
            || written != part.size())
            return false;
    }
    return file.IsValid();
}

// An image file through the platform's imaging component, of pixels in `pixelFormat`,
// rows unpadded.
HRESULT WriteImage(const std::wstring& path, REFGUID container, REFGUID pixelFormat, UINT width,
                   UINT height, UINT pixelBytes, const Frame& pixels)
{
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> bitmap;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, factory.PutVoid());
    WICPixelFormatGUID written = pixelFormat;
    if (SUCCEEDED(hr))
        hr = factory->CreateBitmapFromMemory(width, height, pixelFormat, width * pixelBytes,
                                             UINT(pixels.size()), const_cast<BYTE*>(pixels.data()),
                                             bitmap.Put());
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.Put());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(container, nullptr, encoder.Put());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.Put(), nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(width, height);
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&written);
    if (SUCCEEDED(hr) && !IsEqualGUID(written, pixelFormat))
        hr = E_FAIL;    // the still must keep the depth the test gives it
    if (SUCCEEDED(hr))
        hr = frame->WriteSource(bitmap.Get(), nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    return hr;
}

// The colour bytes of an RGB32 frame, three a pixel.
Frame ColourBytes(const Frame& frame)
{
    Frame colour;
    for (size_t pixel = 0; pixel < frame.size(); pixel += 4)
        colour.insert(colour.end(), frame.begin() + pixel, frame.begin() + pixel + 3);
    return colour;
}

class VerifyTool : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (const std::wstring& path : made)
            DeleteFileW(path.c_str());
        // Folders last, the innermost first: the paths in them were made after them.
        for (auto path = made.rbegin(); path != made.rend(); ++path)
            RemoveDirectoryW(path->c_str());
    }

    // A path in the prefix's temporary folder, removed when the test ends.
    std::wstring Path(const std::wstring& name)
    {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        // The test's name in the path: CTest runs cases side by side in one prefix, and one
        // case's files must not be another's.
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::wstring path = std::wstring(folder) + L"orvix-verify-"
                                  + std::wstring(test.begin(), test.end()) + L"-" + name;
        made.push_back(path);
        return path;
    }

    ProgramResult Run(const std::wstring& arguments)
    {
        return RunToolAt(ORVIX_VERIFY_TOOL_PATH, arguments);
    }

    ProgramResult RunOn(FormatIndex index, const std::wstring& path,
                        const std::wstring& options = L"")
    {
        return Run(options + L"--format " + std::to_wstring(index) + L" \"" + path + L"\"");
    }

    // The still of frame `number` of format 3, as a 24-bit PNG.
    void WriteStill(const std::wstring& path, uint64_t number)
    {
        ASSERT_EQ(WriteImage(path, GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, 512, 384,
                             3, ColourBytes(ModelFrame(FormatOf(3), number))),
                  S_OK);
    }

    std::vector<std::wstring> made;
};

// What the tool prints for one raw file, given the lines between its input line and
// its summary.
struct RawCase
{
    const char* name;
    FormatIndex index;
    std::vector<Frame> frames;
    std::string troubles;    // "%s" stands for the file's path
    std::string summary;
    DWORD exitCode;
    std::wstring options = L"";
};

std::string Count(uint64_t count, const char* one, const char* many)
{
    return GroupedDigits(count) + " " + (count == 1 ? one : many);
}

std::string WithPath(std::string text, const std::string& path)
{
    for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at))
        text.replace(at, 2, path);
    return text;
}

TEST_F(VerifyTool, ReportsEachChangeToARawCaptureExactly)
{
    const FrameFormat rgb24 = FormatOf(6);
    const FrameFormat rgb32 = FormatOf(3);
    std::vector<Frame> damaged = ModelFrames(rgb24, {0, 1, 2, 3, 4, 5});
    damaged[4][200 * rgb24.rowBytes + 100 * 3 + 2] ^= 0x40;
    std::vector<Frame> turned = ModelFrames(rgb24, {0, 1, 2, 3, 4, 5});
    turned[5] = RowsReversed(rgb24, turned[5]);
    std::vector<Frame> opaque = ModelFrames(rgb32, {0, 1, 2, 3});
    uint64_t changedFourthBytes = 0;
    for (size_t fourth = 3; fourth < opaque[1].size(); fourth += 4) {
        changedFourthBytes += opaque[1][fourth] != 0xFF;
        opaque[1][fourth] = 0xFF;
    }
    std::vector<Frame> cut = ModelFrames(rgb24, {0, 1, 2, 3});
    cut[3].resize(rgb24.frameBytes / 2);
    const Frame oneByte(1, ModelFrame(rgb24, 0)[0]);
    const Frame otherByte(1, BYTE(oneByte[0] ^ 0xFF));

    const std::string exactAndConsecutive = "Result:        every frame exact and consecutive\n";
    const std::string notExact = "Result:        NOT every frame exact and consecutive\n";
    const std::string nothingElse = "Repeated:      none\nOut of order:  none\n";
    // With no frame recognised no frame number is known, so neither are drops or repeats.
    const std::string noNumbers = "Frame numbers: none recognised\n"
                                  "Dropped:       unknown: no frame recognised\n"
                                  "Repeated:      unknown: no frame recognised\n"
                                  "Out of order:  unknown: no frame recognised\n";
    const RawCase cases[] = {
        {"exact", 6, ModelFrames(rgb24, {0, 1, 2, 3, 4, 5}), "",
         "Verified:      6 frames: 6 exact\nFrame numbers: first 0, last 5\nDropped:       none\n"
             + nothingElse + exactAndConsecutive,
         exitExact},
        {"removed", 6, ModelFrames(rgb24, {0, 1, 2, 4, 5}),
         "  #3 (%s, byte 1,769,472): frame 4, after frame 2\n",
         "Verified:      5 frames: 5 exact\nFrame numbers: first 0, last 5\n"
         "Dropped:       1 frame: 3\n"
             + nothingElse + notExact,
         exitNotExact},
        {"repeated", 6, ModelFrames(rgb24, {0, 1, 2, 2, 3, 4, 5}),
         "  #3 (%s, byte 1,769,472): frame 2, again\n",
         "Verified:      7 frames: 7 exact\nFrame numbers: first 0, last 5\nDropped:       none\n"
         "Repeated:      1 frame: 2\nOut of order:  none\n"
             + notExact,
         exitNotExact},
        {"swapped", 6, ModelFrames(rgb24, {0, 1, 3, 2, 4, 5}),
         "  #2 (%s, byte 1,179,648): frame 3, after frame 1\n"
         "  #3 (%s, byte 1,769,472): frame 2, out of order after frame 3\n",
         "Verified:      6 frames: 6 exact\nFrame numbers: first 0, last 5\nDropped:       none\n"
         "Repeated:      none\nOut of order:  1 frame: 2\n"
             + notExact,
         exitNotExact},
        {"damaged", 6, damaged,
         "  #4 (%s, byte 2,359,296): frame 4, 1 byte differs, the first at byte 307,502 (row "
         "200, column 100)\n",
         "Verified:      6 frames: 5 exact, 1 with bytes that differ\n"
         "Frame numbers: first 0, last 5\nDropped:       none\n"
             + nothingElse + notExact,
         exitNotExact},
        {"turned", 6, turned, "  #5 (%s, byte 2,949,120): frame 5, its rows in reverse order\n",
         "Verified:      6 frames: 5 exact, 1 changed\nFrame numbers: first 0, last 5\n"
         "Dropped:       none\n"
             + nothingElse + notExact,
         exitNotExact},
        {"opaque", 3, opaque,
         "  #1 (%s, byte 786,432): frame 1, the fourth bytes of "
             + GroupedDigits(changedFourthBytes)
             + " of 196,608 pixels changed (every fourth byte is 0xFF)\n",
         "Verified:      4 frames: 3 exact, 1 changed\nFrame numbers: first 0, last 3\n"
         "Dropped:       none\n"
             + nothingElse + notExact,
         exitNotExact},
        {"cut", 6, cut,
         "orvix-verify: %s: the file is not a whole number of frames of 589,824 bytes: the last "
         "294,912 bytes are part of a frame\n"
         "  #3 (%s, byte 1,769,472): frame 3; truncated, 294,912 bytes of a frame\n",
         "Verified:      4 frames: 3 exact, 1 truncated\nFrame numbers: first 0, last 3\n"
         "Dropped:       none\n"
             + nothingElse + notExact,
         exitBadInput},
        {"one byte",
         6,
         {oneByte},
         "orvix-verify: %s: the file is not a whole number of frames of 589,824 bytes: the last "
         "1 byte is part of a frame\n"
         "  #0 (%s, byte 0): too few bytes to find its number; against frame 0, no byte "
         "differs; truncated, 1 byte of a frame\n",
         "Verified:      1 frame: 0 exact, 1 matching no frame, 1 truncated\n" + noNumbers
             + notExact,
         exitBadInput},
        // A byte that is not frame 0's may well be another frame's first: too few bytes to
        // tell which, never "matches no frame".
        {"other byte",
         6,
         {otherByte},
         "orvix-verify: %s: the file is not a whole number of frames of 589,824 bytes: the last "
         "1 byte is part of a frame\n"
         "  #0 (%s, byte 0): too few bytes to find its number; against frame 0, 1 byte differs, "
         "the first at byte 0 (row 0, column 0); truncated, 1 byte of a frame\n",
         "Verified:      1 frame: 0 exact, 1 matching no frame, 1 truncated\n" + noNumbers
             + notExact,
         exitBadInput},
        // Every start of the stream starts at frame 0: a capture that begins later lost
        // the frames before, unless the user says it joined a stream already running.
        {"late", 6, ModelFrames(rgb24, {3, 4}), "  #0 (%s, byte 0): frame 3, the first received\n",
         "Verified:      2 frames: 2 exact\nFrame numbers: first 3, last 4\n"
         "Dropped:       3 frames: 0 to 2\n"
             + nothingElse + notExact,
         exitNotExact},
        {"joined", 6, ModelFrames(rgb24, {3, 4}), "",
         "Verified:      2 frames: 2 exact\nFrame numbers: first 3, last 4\nDropped:       none\n"
             + nothingElse + exactAndConsecutive,
         exitExact, L"--mid-stream "},
    };
    for (const RawCase& test : cases) {
        SCOPED_TRACE(test.name);
        const FrameFormat format = FormatOf(test.index);
        const std::wstring path = Path(std::wstring(test.name, test.name + strlen(test.name)));
        ASSERT_TRUE(WriteFileBytes(path, test.frames));
        uint64_t bytes = 0;
        for (const Frame& frame : test.frames)
            bytes += frame.size();
        const uint64_t whole = bytes / format.frameBytes;
        const uint64_t rest = bytes % format.frameBytes;
        const std::string name = Narrow(path);
        const ProgramResult run = RunOn(test.index, path, test.options);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, test.exitCode) << run.output;
        EXPECT_EQ(run.output, "Format:        " + std::to_string(test.index) + ", "
                                  + FormatSummary(CaptureFormatAt(test.index)) + ", "
                                  + GroupedDigits(format.frameBytes) + " bytes a frame\n"
                                  + "Input:         " + name + ", " + Count(bytes, "byte", "bytes")
                                  + ": " + Count(whole, "frame", "frames")
                                  + (rest ? " and " + Count(rest, "byte", "bytes") : "") + "\n"
                                  + WithPath(test.troubles, name) + test.summary);
    }
}

TEST_F(VerifyTool, VerifiesStillsAsTheCaptureToolAndAnImagingComponentWriteThem)
{
    const FrameFormat format = FormatOf(3);
    const std::vector<Frame> frames = ModelFrames(format, {0, 1, 2, 3});

    // The capture tool drops each pixel's fourth byte, in a BMP as in a PNG.
    BITMAPINFOHEADER header = {};
    FillBitmapHeader(format.index, FirstFormatIndex, &header);
    for (const wchar_t* name : {L"first-frame.bmp", L"first-frame.png"}) {
        const std::wstring still = Path(name);
        std::string error;
        ASSERT_TRUE(SaveFrameImage(still, header, frames[0].data(), frames[0].size(), &error))
            << error;
        const ProgramResult run = RunOn(3, still);
        EXPECT_EQ(run.exitCode, exitExact) << run.output;
        EXPECT_NE(run.output.find("Input:         " + Narrow(still)
                                  + ", a 24-bit still, compared by its colour bytes\n"
                                    "Verified:      1 frame: 1 exact\n"
                                    "Frame numbers: first 0, last 0\n"),
                  std::string::npos)
            << run.output;
    }

    // A series numbered from 1, as ffmpeg numbers it: 24-bit PNG, then one of 32 bits
    // whose fourth bytes are the frame's own.
    ASSERT_EQ(WriteImage(Path(L"frame001.png"), GUID_ContainerFormatPng,
                         GUID_WICPixelFormat24bppBGR, 512, 384, 3, ColourBytes(frames[0])),
              S_OK);
    ASSERT_EQ(WriteImage(Path(L"frame002.png"), GUID_ContainerFormatPng,
                         GUID_WICPixelFormat24bppBGR, 512, 384, 3, ColourBytes(frames[1])),
              S_OK);
    ASSERT_EQ(WriteImage(Path(L"frame003.png"), GUID_ContainerFormatPng,
                         GUID_WICPixelFormat32bppBGRA, 512, 384, 4, frames[2]),
              S_OK);
    const ProgramResult run = RunOn(3, Path(L"frame%03d.png"));
    EXPECT_EQ(run.exitCode, exitExact) << run.output;
    EXPECT_NE(run.output.find("frame003.png, a 32-bit still\n"
                              "Verified:      3 frames: 3 exact\n"
                              "Frame numbers: first 0, last 2\n"),
              std::string::npos)
        << run.output;
}

TEST_F(VerifyTool, FindsASeriesInAFolderWhoseNameHoldsAPercentSign)
{
    for (const wchar_t* folderName : {L"100% done", L"50%dx"}) {
        SCOPED_TRACE(Narrow(folderName));
        const std::wstring folder = Path(folderName);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        WriteStill(Path(std::wstring(folderName) + L"\\frame000.png"), 0);
        WriteStill(Path(std::wstring(folderName) + L"\\frame001.png"), 1);
        const ProgramResult run = RunOn(3, folder + L"\\frame%03d.png");
        EXPECT_EQ(run.exitCode, exitExact) << run.output;
        EXPECT_NE(run.output.find(Narrow(folder) + "\\frame001.png, a 24-bit still"),
                  std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("Verified:      2 frames: 2 exact\n"), std::string::npos)
            << run.output;
    }
}

TEST_F(VerifyTool, NeverCallsASeriesCompleteWhileFilesAfterAGapExist)
{
    // 0, 1, then 3 and 4: the series ends at 2.
    for (uint64_t number : {0, 1, 3, 4})
        WriteStill(Path(L"gap00" + std::to_wstring(number) + L".png"), number);
    const ProgramResult gap = RunOn(3, Path(L"gap%03d.png"));
    EXPECT_EQ(gap.exitCode, exitBadInput) << gap.output;
    for (const std::string& line : {
             "orvix-verify: " + Narrow(Path(L"gap%03d.png"))
                 + ": the series ends at number 2, the first missing ("
                 + Narrow(Path(L"gap002.png")) + "); 2 files with later numbers exist, from "
                 + Narrow(Path(L"gap003.png")) + ", and were not read\n",
             std::string("Verified:      2 frames: 2 exact\n"),
             std::string("Not verified:  1 input not read in full, named above\n"
                         "Result:        NOT complete: the frames verified are exact and "
                         "consecutive, but not every frame was verified\n"),
         })
        EXPECT_NE(gap.output.find(line), std::string::npos) << line << "\n" << gap.output;

    // A series that starts past the first numbers looked for is named all the same.
    WriteStill(Path(L"late010.png"), 0);
    const ProgramResult late = RunOn(3, Path(L"late%03d.png"));
    EXPECT_EQ(late.exitCode, exitBadInput) << late.output;
    EXPECT_NE(late.output.find(": no file of this numbered series exists with a first number "
                               "from 0 to 4; 1 file with a later number exists, "
                               + Narrow(Path(L"late010.png")) + ", and was not read\n"),
              std::string::npos)
        << late.output;
}

TEST_F(VerifyTool, ReadsEveryInputAfterOneThatMatchesNoFrame)
{
    const std::wstring zeros = Path(L"zeros.png");
    ASSERT_EQ(WriteImage(zeros, GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, 512, 384, 3,
                         Frame(512 * 384 * 3, 0)),
              S_OK);
    const std::wstring good = Path(L"good.raw");
    ASSERT_TRUE(WriteFileBytes(good, ModelFrames(FormatOf(3), {0, 1})));
    const std::string goodRead = "Input:         " + Narrow(good) + ", 1,572,864 bytes: 2 frames\n";

    // One more than the frames in a row after which the tool gives up on an input.
    constexpr unsigned stills = 101;
    // Stills named one by one are inputs of their own: none is a run of frames.
    std::wstring arguments = L"--format 3";
    for (unsigned still = 0; still < stills; ++still)
        arguments += L" \"" + zeros + L"\"";
    const ProgramResult apart = Run(arguments + L" \"" + good + L"\"");
    EXPECT_EQ(apart.exitCode, exitNotExact) << apart.output;
    EXPECT_NE(apart.output.find(goodRead), std::string::npos) << apart.output;
    EXPECT_NE(apart.output.find("Verified:      103 frames: 2 exact, 101 matching no frame\n"),
              std::string::npos)
        << apart.output;

    // As one series they are: it stops after the run, names the files it did not read,
    // and the raw file after it is read all the same.
    for (unsigned still = 0; still < stills + 2; ++still) {
        std::wstring number = std::to_wstring(still);
        number.insert(0, 3 - number.size(), L'0');
        ASSERT_TRUE(CopyFileW(zeros.c_str(), Path(L"zeros" + number + L".png").c_str(), FALSE));
    }
    const ProgramResult series =
        Run(L"--format 3 \"" + Path(L"zeros%03d.png") + L"\" \"" + good + L"\"");
    EXPECT_EQ(series.exitCode, exitBadInput) << series.output;
    for (const std::string& line : {
             "orvix-verify: " + Narrow(Path(L"zeros%03d.png")) + ": stopped at "
                 + Narrow(Path(L"zeros099.png"))
                 + ": 100 frames in a row match no frame of format 3 (512x384 RGB32 at 30 "
                   "fps); is this a capture in that format? 3 later files of the series, from "
                 + Narrow(Path(L"zeros100.png")) + " to " + Narrow(Path(L"zeros102.png"))
                 + ", were not read\n",
             goodRead,
             std::string("Verified:      102 frames: 2 exact, 100 matching no frame\n"),
             std::string("Not verified:  1 input not read in full, named above\n"),
         })
        EXPECT_NE(series.output.find(line), std::string::npos) << line << "\n" << series.output;
}

TEST_F(VerifyTool, NamesEveryInputItCannotVerifyAndExitsWithItsCode)
{
    const Frame frame = ModelFrame(FormatOf(3), 0);
    const std::wstring empty = Path(L"empty.raw");
    const std::wstring small = Path(L"small.png");
    const std::wstring gray = Path(L"gray.png");
    const std::wstring deep = Path(L"deep.png");
    const std::wstring garbage = Path(L"garbage.bmp");
    const std::wstring folder = Path(L"folder");
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    ASSERT_EQ(WriteImage(small, GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, 100, 80, 3,
                         Frame(100 * 80 * 3, 7)),
              S_OK);
    ASSERT_EQ(WriteImage(gray, GUID_ContainerFormatPng, GUID_WICPixelFormat8bppGray, 512, 384, 1,
                         Frame(512 * 384, 7)),
              S_OK);
    ASSERT_EQ(
        WriteImage(deep, GUID_ContainerFormatPng, GUID_WICPixelFormat32bppBGRA, 512, 384, 4, frame),
        S_OK);
    ASSERT_TRUE(WriteFileBytes(garbage, {Frame(1000, 'x')}));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));

    struct Case
    {
        std::wstring arguments;
        DWORD exitCode;
        std::string message;
    };
    const auto quoted = [](const std::wstring& path) { return L" \"" + path + L"\""; };
    const Case cases[] = {
        {L"--format 3" + quoted(empty), exitBadInput,
         Narrow(empty) + ": the file is empty: it holds no frame"},
        {L"--format 3" + quoted(Path(L"missing.raw")), exitBadInput,
         Narrow(Path(L"missing.raw")) + ": cannot open it: "},
        {L"--format 3" + quoted(folder), exitBadInput, Narrow(folder) + ": cannot open it: "},
        {L"--format 3" + quoted(small), exitBadInput,
         Narrow(small) + ": cannot verify this still: it is 100x80 pixels, not 512x384"},
        {L"--format 3" + quoted(gray), exitBadInput,
         Narrow(gray) + ": cannot verify this still: it has 8 bits per pixel, not 24 or 32"},
        {L"--format 6" + quoted(deep), exitBadInput,
         Narrow(deep) + ": cannot verify this still: it has 32 bits per pixel, not 24"},
        {L"--format 3" + quoted(garbage), exitBadInput,
         Narrow(garbage) + ": cannot verify this still: it is no image the platform can read"},
        {L"--format 3" + quoted(Path(L"none%02d.png")), exitBadInput,
         "no file of this numbered series exists with a first number from 0 to 4\n"},
        {L"--format 7" + quoted(empty), exitBadOption,
         "--format takes a format from 1 to 6, not '7'"},
        {L"--format 0" + quoted(empty), exitBadOption,
         "--format takes a format from 1 to 6, not '0'"},
        {quoted(empty), exitBadOption, "--format is needed"},
        {L"--format 3", exitBadOption, "name at least one file to verify"},
        {L"--frames 3" + quoted(empty), exitBadOption, "unknown option '--frames'"},
    };
    for (const Case& bad : cases) {
        const ProgramResult run = Run(bad.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, bad.exitCode) << run.output;
        EXPECT_NE(run.output.find("orvix-verify: "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(bad.message), std::string::npos) << run.output;
    }
    const ProgramResult help = Run(L"--help");
    EXPECT_EQ(help.exitCode, exitExact);
    EXPECT_NE(help.output.find("Usage: orvix-verify --format N [--mid-stream] FILE..."),
              std::string::npos);
    EXPECT_NE(help.output.find("3  512x384 RGB32 at 30 fps\n"), std::string::npos) << help.output;
}

TEST_F(VerifyTool, ReadsAFileFarLargerThanMemoryFrameByFrameAndStopsWhereFramesMatchNone)
{
    const FrameFormat format = FormatOf(6);
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    // Twice the machine's memory, and past every 32-bit size; only the first frames are
    // written, the rest of the file is a hole that reads as zeros.
    const uint64_t least = std::max<uint64_t>(2 * memory.ullTotalPhys, uint64_t(64) << 30);
    const uint64_t frames = least / format.frameBytes + 1;
    const uint64_t bytes = frames * format.frameBytes;
    const std::wstring path = Path(L"huge.raw");
    {
        ASSERT_TRUE(WriteFileBytes(path, ModelFrames(format, {0, 1, 2})));
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER end;
        end.QuadPart = LONGLONG(bytes);
        ASSERT_TRUE(file.IsValid());
        ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.Get()));
    }
    const ProgramResult run = RunOn(6, path);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, exitBadInput) << run.output;
    const std::string name = Narrow(path);
    const uint64_t stoppedAt = 103 * uint64_t(format.frameBytes);
    for (const std::string& line : {
             "Input:         " + name + ", " + GroupedDigits(bytes)
                 + " bytes: " + GroupedDigits(frames) + " frames\n",
             "  #3 (" + name
                 + ", byte 1,769,472): matches no frame from 0 to 100,003; against "
                   "frame 3, ",
             "orvix-verify: " + name + ": stopped at byte " + GroupedDigits(stoppedAt)
                 + ": 100 frames in a row match no frame of format 6 (512x384 RGB24 at 30 fps); is "
                   "this "
                   "a capture in that format?\n",
             std::string("Verified:      103 frames: 3 exact, 100 matching no frame\n"),
         })
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
}

}    // namespace

namespace {

Frame Corrupted(const FrameFormat& format, uint64_t number)
{
    Frame frame = ModelFrame(format, number);
    CorruptFrame(frame.data(), format.rowBytes, format.height);
    return frame;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(VerifyTool, HoldsACaptureAgainstTheScenarioTheCameraRan)
{
    // What the camera sends of frames 0 to 5 under this scenario.
    const std::wstring faults = L"--faults \"corrupt 4; repeat 3;drop 2\" ";
    const FrameFormat rgb24 = FormatOf(6);
    std::vector<Frame> sent = ModelFrames(rgb24, {0, 1, 3, 3});
    sent.push_back(Corrupted(rgb24, 4));
    sent.push_back(ModelFrame(rgb24, 5));
    const std::wstring exact = Path(L"scenario.raw");
    ASSERT_TRUE(WriteFileBytes(exact, sent));
    const ProgramResult run = RunOn(6, exact, faults);
    EXPECT_EQ(run.exitCode, exitExact) << run.output;
    EXPECT_TRUE(Contains(
        run.output,
        "Input:         " + Narrow(exact)
            + ", 3,538,944 bytes: 6 frames\n"
              "Scenario:      drop 2; repeat 3; corrupt 4 (given with --faults)\n"
              "Verified:      6 frames: 5 exact, 1 as the scenario changed it\n"
              "Frame numbers: first 0, last 5\n"
              "Dropped:       1 frame by the camera, as the scenario says: 2; none by the host\n"
              "Repeated:      1 frame by the camera, as the scenario says: 3; none by the host\n"
              "Changed:       1 frame by the camera, as the scenario says: 4; none by the host\n"
              "Out of order:  none\n"
              "Result:        exactly what the camera sent under the scenario\n"))
        << run.output;
    // Without the scenario the same file holds a gap, a repeat and a damaged frame.
    EXPECT_EQ(RunOn(6, exact).exitCode, exitNotExact);

    // A host that lost frame 1 and the repeat of 3.
    std::vector<Frame> lossy = ModelFrames(rgb24, {0, 3});
    lossy.push_back(Corrupted(rgb24, 4));
    const std::wstring lost = Path(L"lossy.raw");
    ASSERT_TRUE(WriteFileBytes(lost, lossy));
    const ProgramResult lossyRun = RunOn(6, lost, faults);
    EXPECT_EQ(lossyRun.exitCode, exitNotExact) << lossyRun.output;
    for (const std::string& line : {
             std::string("  #1 (" + Narrow(lost) + ", byte 589,824): frame 3, after frame 0\n"),
             std::string("  #2 (" + Narrow(lost)
                         + ", byte 1,179,648): frame 4; frame 3's repeat never came\n"),
             std::string("Dropped:       1 frame by the camera, as the scenario says: 2; 2 frames "
                         "by the host: 1, the repeat of 3\n"),
             std::string("Result:        NOT exactly what the camera sent under the scenario\n"),
         })
        EXPECT_TRUE(Contains(lossyRun.output, line)) << line << "\n" << lossyRun.output;
    // Frames before the first count as lost, the camera's among them, unless the capture
    // joined the stream late.
    std::vector<Frame> late = ModelFrames(rgb24, {3});
    late.push_back(Corrupted(rgb24, 4));
    const std::wstring joined = Path(L"joined.raw");
    ASSERT_TRUE(WriteFileBytes(joined, late));
    EXPECT_TRUE(Contains(RunOn(6, joined, faults).output,
                         "Dropped:       1 frame by the camera, as the scenario says: 2; 3 frames "
                         "by the host: 0 to 1, the repeat of 3\n"));
    EXPECT_TRUE(
        Contains(RunOn(6, joined, faults + L"--mid-stream ").output,
                 "Dropped:       none by the camera; 1 frame by the host: the repeat of 3\n"));

    // A capture made under another scenario: frame 2 came.
    const std::wstring other = Path(L"other.raw");
    ASSERT_TRUE(WriteFileBytes(other, ModelFrames(rgb24, {0, 1, 2})));
    const ProgramResult otherRun = RunOn(6, other, faults);
    EXPECT_EQ(otherRun.exitCode, exitNotExact);
    EXPECT_TRUE(Contains(otherRun.output, "Result:        NOT a capture made under this scenario"))
        << otherRun.output;
}

TEST_F(VerifyTool, FindsTheCamerasChangeInStillsAndNamesBottomUpFramesLeftUnturned)
{
    // The capture tool's 24-bit still of a corrupted RGB32 frame.
    const FrameFormat rgb32 = FormatOf(3);
    const std::wstring still = Path(L"corrupted.png");
    ASSERT_EQ(WriteImage(still, GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, 512, 384, 3,
                         ColourBytes(Corrupted(rgb32, 0))),
              S_OK);
    const ProgramResult stillRun = RunOn(3, still, L"--faults \"corrupt 0\" ");
    EXPECT_EQ(stillRun.exitCode, exitExact) << stillRun.output;
    EXPECT_TRUE(Contains(stillRun.output, "Verified:      1 frame: 0 exact, 1 as the scenario "
                                          "changed it\n"))
        << stillRun.output;

    // Files hold pictures top row first: frames kept as a bottom-up camera delivered them are
    // turned.
    const std::wstring raw = Path(L"bottom-up.raw");
    ASSERT_TRUE(
        WriteFileBytes(raw, {ModelFrame(rgb32, 0), RowsReversed(rgb32, ModelFrame(rgb32, 1))}));
    const ProgramResult turned = RunOn(3, raw, L"--faults bottom-up ");
    EXPECT_EQ(turned.exitCode, exitNotExact) << turned.output;
    EXPECT_TRUE(Contains(turned.output, "frame 1, its rows in reverse order (the host did not turn "
                                        "the camera's bottom-up frames top-down)\n"))
        << turned.output;
    EXPECT_TRUE(
        Contains(turned.output, "Changed:       none by the camera; 1 frame by the host: 1\n"))
        << turned.output;
}

// The scenario stored for a device, read from this build's registry view as the filter reads
// it. Every test registers the module and leaves it unregistered, which removes the value.
class VerifyToolWithDevices : public VerifyTool
{
protected:
    void SetUp() override { Register(false); }
    void TearDown() override
    {
        Register(true);
        VerifyTool::TearDown();
    }
    static void Register(bool unregister)
    {
        const ProgramResult run = Regsvr32(unregister);
        ASSERT_TRUE(run.finished && run.exitCode == 0) << run.output;
    }
    static void StoreScenario(const char* text)
    {
        ASSERT_EQ(WriteRegistryText(HKEY_LOCAL_MACHINE,
                                    "Software\\Classes\\CLSID\\" + GuidText(CLSID_Orvix61CapSrc2)
                                        + "\\InprocServer32",
                                    "FaultScenario", text),
                  ERROR_SUCCESS);
    }
};

TEST_F(VerifyToolWithDevices, ReadsTheScenarioStoredForTheDeviceOrSaysWhyNot)
{
    const std::wstring raw = Path(L"device.raw");
    ASSERT_TRUE(WriteFileBytes(raw, ModelFrames(FormatOf(3), {0, 1, 3})));
    const std::wstring device = L"--device 2 ";

    ProgramResult run = RunOn(3, raw, device);
    EXPECT_EQ(run.exitCode, exitNotExact) << run.output;
    EXPECT_TRUE(Contains(run.output, "Scenario:      none: every frame once, as made (stored for "
                                     "Orvix61 Capture Source Test 2)\n"))
        << run.output;

    StoreScenario("drop 2");
    run = RunOn(3, raw, device);
    EXPECT_EQ(run.exitCode, exitExact) << run.output;
    EXPECT_TRUE(Contains(run.output, "Scenario:      drop 2 (stored for Orvix61 Capture Source "
                                     "Test 2)\n"))
        << run.output;

    StoreScenario("drop 2; wobble 3");
    run = RunOn(3, raw, device);
    EXPECT_EQ(run.exitCode, 4u) << run.output;
    EXPECT_TRUE(Contains(run.output, "orvix-verify: --device 2: the scenario stored for Orvix61 "
                                     "Capture Source Test 2 does not parse (\"wobble 3\": is no "
                                     "item;"))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "the filter ignores it and runs no faults")) << run.output;
    EXPECT_TRUE(Contains(run.output, "; no file was verified\n")) << run.output;
    EXPECT_FALSE(Contains(run.output, "Verified:")) << run.output;

    Register(true);
    run = RunOn(3, raw, device);
    EXPECT_EQ(run.exitCode, 4u) << run.output;
    EXPECT_TRUE(Contains(run.output,
                         std::string("orvix-verify: --device 2: Orvix61 Capture Source Test 2 is "
                                     "not registered in the registry's ")
                             + (sizeof(void*) == 8 ? "64-bit" : "32-bit")
                             + " view, so it has no stored scenario"))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "give the scenario with --faults; no file was verified\n"))
        << run.output;
    Register(false);

    for (const auto& bad :
         {std::make_pair(L"--faults \"drop 2\" --device 1 ", "give the scenario once"),
          std::make_pair(L"--device 5 ", "--device takes a device number from 1 to 4, not '5'"),
          std::make_pair(L"--faults \"stall 4\" ",
                         "--faults: the scenario does not parse: \"stall 4\"")}) {
        run = RunOn(3, raw, bad.first);
        EXPECT_EQ(run.exitCode, exitBadOption) << run.output;
        EXPECT_TRUE(Contains(run.output, bad.second)) << run.output;
    }
}

}    // namespace
