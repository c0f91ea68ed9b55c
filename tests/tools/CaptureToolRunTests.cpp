// orvix-capture run as a user runs it, against the built module registered with regsvr32:
// its exit codes, what it prints and the image it writes.
#include "ModuleUnderTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
ProgramResult RunTool(const std::wstring& arguments)
{
    return RunToolAt(ORVIX_CAPTURE_TOOL_PATH, arguments);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CaptureTool : public ::testing::Test
{
protected:
    void SetUp() override { Register(false); }
    void TearDown() override
    {
        Register(true);
        if (!imagePath.empty())
            DeleteFileW(imagePath.c_str());
    }

    static void Register(bool unregister)
    {
        const ProgramResult run = Regsvr32(unregister);
        ASSERT_TRUE(run.finished && run.exitCode == 0) << run.output;
    }

    // A file in the prefix's temporary folder, removed when the test ends.
    std::wstring ImagePath(const wchar_t* extension)
    {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        imagePath = std::wstring(folder) + L"orvix-capture-test" + extension;
        DeleteFileW(imagePath.c_str());
        return imagePath;
    }

    std::wstring imagePath;
};
}    // namespace

TEST_F(CaptureTool, ListsTheFourDevicesOfTheRegisteredModule)
{
    const ProgramResult run = RunTool(L"--list");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    for (int variant = 1; variant <= 4; ++variant)
        EXPECT_TRUE(
            Contains(run.output, "  Orvix61 Capture Source Test " + std::to_string(variant) + "\n"))
            << run.output;
    EXPECT_FALSE(Contains(run.output, "not registered"));
}

TEST_F(CaptureTool, CapturesInTheChosenFormatAndWritesABmpForANameEndingInBmp)
{
    const ProgramResult run =
        RunTool(L"--device \"Orvix61 Capture Source Test 2\" --format 6 --frames 4 "
                L"--output \""
                + ImagePath(L".bmp") + L"\"");
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "Device:      Orvix61 Capture Source Test 2\n")) << run.output;
    EXPECT_TRUE(
        Contains(run.output, "Format:      512x384 RGB24, top-down, 589824 bytes per frame"))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "Frames:      4\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "frames per second achieved")) << run.output;
    EXPECT_TRUE(
        Contains(run.output, "10.000 ms apart on average (shortest 10.000 ms, longest 10.000 ms)"))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "orvix-capture-test.bmp (first frame, 24-bit BMP)"))
        << run.output;
    EXPECT_FALSE(Contains(run.output, "captured "));    // a short capture shows no progress

    HANDLE file = CreateFileW(imagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    UniqueHandle image(file);
    ASSERT_TRUE(image.IsValid());
    BYTE headers[sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(image.Get(), headers, sizeof(headers), &read, nullptr));
    BITMAPINFOHEADER info;
    memcpy(&info, headers + sizeof(BITMAPFILEHEADER), sizeof(info));
    EXPECT_EQ('B', headers[0]);
    EXPECT_EQ('M', headers[1]);
    EXPECT_EQ(512, info.biWidth);
    EXPECT_EQ(384, info.biHeight);
    EXPECT_EQ(24, info.biBitCount);
    EXPECT_EQ(sizeof(headers) + 512u * 3 * 384, GetFileSize(image.Get(), nullptr));
}

TEST_F(CaptureTool, VerifiesEveryFrameAsItArrivesAndItsPngVerifiesAsTheFirstFrame)
{
    const ProgramResult run =
        RunTool(L"--format 3 --frames 50 --verify --output \"" + ImagePath(L".png") + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "Verification of every frame against the camera's stream:\n"
                                     "  Verified:      50 frames: 50 exact\n"
                                     "  Frame numbers: first 0, last 49\n"
                                     "  Dropped:       none\n"
                                     "  Repeated:      none\n"
                                     "  Out of order:  none\n"
                                     "  Result:        every frame exact and consecutive\n"))
        << run.output;

    EXPECT_TRUE(Contains(run.output, "orvix-capture-test.png (first frame, 24-bit PNG)"))
        << run.output;

    // The still holds the first frame without its fourth bytes.
    ProgramResult still = RunProgram(L"\"" + DosPath(ORVIX_VERIFY_TOOL_PATH) + L"\" --format 3 \""
                                     + imagePath + L"\"");
    ASSERT_TRUE(still.finished);
    EXPECT_EQ(0u, still.exitCode) << still.output;
    EXPECT_TRUE(Contains(still.output, "a 24-bit still")) << still.output;
    EXPECT_TRUE(Contains(still.output, "Frame numbers: first 0, last 0")) << still.output;
    EXPECT_TRUE(Contains(still.output, "Verified:      1 frame: 1 exact")) << still.output;
}

// The camera runs formats 2 and 6 at 18 and 30 frames per second, while the type a first
// connection in the process lists announces 6: the tool names the camera's rate, and the
// announced interval beside it.
TEST_F(CaptureTool, NamesTheCamerasRateAndTheIntervalTheConnectionAnnounces)
{
    struct Case
    {
        const wchar_t* format;
        const char* rate;
    };
    const Case cases[] = {
        {L"2", "Camera rate: 18 frames per second nominally"},
        {L"6", "Camera rate: 30 frames per second nominally"},
    };
    for (const Case& test : cases) {
        const ProgramResult run =
            RunTool(std::wstring(L"--format ") + test.format + L" --frames 2 --output \""
                    + ImagePath(L".bmp") + L"\"");
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(0u, run.exitCode) << run.output;
        EXPECT_TRUE(Contains(run.output, test.rate)) << run.output;
        EXPECT_TRUE(Contains(run.output, "; its connection type announces 166.667 ms a frame "
                                         "(6.00 frames per second)\n"))
            << run.output;
        EXPECT_FALSE(Contains(run.output, "nominally 6.00")) << run.output;
    }
}

// A path longer than MAX_PATH is written, and named as written.
TEST_F(CaptureTool, NamesAnImagePathLongerThanMaxPath)
{
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring folder = std::wstring(temporary) + std::wstring(200, L'f');
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)
                || GetLastError() == ERROR_ALREADY_EXISTS);
    imagePath = folder + L"\\" + std::wstring(80, L'i') + L".png";
    ASSERT_GT(imagePath.size(), size_t(MAX_PATH));
    const ProgramResult run = RunTool(L"--format 3 --frames 1 --output \"" + imagePath + L"\"");
    DeleteFileW(imagePath.c_str());
    RemoveDirectoryW(folder.c_str());
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode) << run.output;
    std::string narrowPath(imagePath.begin(), imagePath.end());
    EXPECT_TRUE(Contains(run.output, "Image:       " + narrowPath + " (first frame, 24-bit PNG)\n"))
        << run.output;
}

TEST_F(CaptureTool, ReportsProgressThroughALongCapture)
{
    const ProgramResult run =
        RunTool(L"--format 3 --frames 30 --output \"" + ImagePath(L".png") + L"\"");
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode) << run.output;
    for (int count = 3; count < 30; count += 3)
        EXPECT_TRUE(Contains(run.output, "  captured " + std::to_string(count) + " of 30 frames\n"))
            << run.output;
    EXPECT_FALSE(Contains(run.output, "captured 30 of 30"));
    EXPECT_TRUE(Contains(run.output, "Frames:      30\n")) << run.output;
}

TEST_F(CaptureTool, SaysTheModuleIsNotRegisteredWhenItIsNot)
{
    Register(true);
    const ProgramResult run = RunTool(L"--frames 2");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(3u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "the Orvix61 module is not registered")) << run.output;
    EXPECT_TRUE(Contains(run.output, "regsvr32 Orvix61Test.ax")) << run.output;
}

TEST_F(CaptureTool, NamesAMissingDeviceAndPointsAtTheList)
{
    const ProgramResult run = RunTool(L"--device \"No Such Camera\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(4u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "no video input device is named \"No Such Camera\""))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "--list")) << run.output;
}

TEST_F(CaptureTool, RefusesABadCommandLineBeforeOpeningAnything)
{
    struct Case
    {
        const wchar_t* arguments;
        const char* message;
    };
    const Case cases[] = {
        {L"--bogus", "unknown option '--bogus'"},
        {L"--frames 0", "--frames takes a number of frames from 1 to 100000, not '0'"},
        {L"--format 9", "--format takes a capability number from 1 to 6, not '9'"},
        {L"--device", "--device needs a value"},
    };
    for (const Case& bad : cases) {
        const ProgramResult run = RunTool(bad.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(2u, run.exitCode) << run.output;
        EXPECT_TRUE(Contains(run.output, std::string("orvix-capture: ") + bad.message))
            << run.output;
        EXPECT_TRUE(Contains(run.output, "--help")) << run.output;
    }
    const ProgramResult help = RunTool(L"--help");
    EXPECT_EQ(0u, help.exitCode);
    EXPECT_TRUE(Contains(help.output, "Usage: orvix-capture")) << help.output;
}
