// orvix-capture run as a user runs it, against the built module registered with regsvr32:
// its exit codes, what it prints and the image it writes, under fault scenarios too.
#include "ModuleUnderTest.h"
#include "Orvix61Test.h"

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

namespace {
// The report's lines under a scenario in which the host lost nothing.
std::string NothingLostByTheHost(const std::string& drops, const std::string& repeats,
                                 const std::string& changes)
{
    const auto line = [](const char* label, const std::string& camera) {
        return std::string("  ") + label
               + (camera.empty()
                      ? "none by the camera"
                      : camera.substr(0, camera.find(':')) + " by the camera, as the scenario says:"
                            + camera.substr(camera.find(':') + 1))
               + "; none by the host\n";
    };
    return line("Dropped:       ", drops) + line("Repeated:      ", repeats)
           + line("Changed:       ", changes)
           + "  Out of order:  none\n"
             "  Result:        exactly what the camera sent under the scenario\n";
}

void StoreScenario(REFCLSID classId, const char* text)
{
    ASSERT_EQ(
        WriteRegistryText(HKEY_LOCAL_MACHINE,
                          "Software\\Classes\\CLSID\\" + GuidText(classId) + "\\InprocServer32",
                          "FaultScenario", text),
        ERROR_SUCCESS);
}
}    // namespace

TEST_F(CaptureTool, VerifiesACaptureUnderAScenarioAsWhatTheCameraSent)
{
    const ProgramResult run =
        RunTool(L"--device 2 --format 3 --frames 20 --verify --faults \"repeat 7; drop 5,3; "
                L"corrupt 9\" --output \""
                + ImagePath(L".png") + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "Device:      Orvix61 Capture Source Test 2\n")) << run.output;
    EXPECT_TRUE(Contains(run.output,
                         "  Scenario:      drop 3,5; repeat 7; corrupt 9 (given with --faults)\n"
                         "  Verified:      20 frames: 19 exact, 1 as the scenario changed it\n"
                         "  Frame numbers: first 0, last 20\n"
                             + NothingLostByTheHost("2 frames: 3, 5", "1 frame: 7", "1 frame: 9")))
        << run.output;

    // Bottom-up frames are verified, and saved, as the picture they hold.
    const ProgramResult bottomUp = RunTool(L"--format 3 --frames 5 --verify --faults \"bottom-up; "
                                           L"corrupt 0\" --output \""
                                           + imagePath + L"\"");
    ASSERT_TRUE(bottomUp.finished);
    EXPECT_EQ(0u, bottomUp.exitCode) << bottomUp.output;
    EXPECT_TRUE(Contains(bottomUp.output, "Format:      512x384 RGB32, bottom-up"))
        << bottomUp.output;
    EXPECT_TRUE(Contains(bottomUp.output, NothingLostByTheHost("", "", "1 frame: 0")))
        << bottomUp.output;
    const ProgramResult still = RunToolAt(
        ORVIX_VERIFY_TOOL_PATH, L"--format 3 --faults \"corrupt 0\" \"" + imagePath + L"\"");
    ASSERT_TRUE(still.finished);
    EXPECT_EQ(0u, still.exitCode) << still.output;
    EXPECT_TRUE(Contains(still.output, "Verified:      1 frame: 0 exact, 1 as the scenario changed "
                                       "it\n"))
        << still.output;
}

TEST_F(CaptureTool, VerifiesAgainstTheScenarioStoredForTheDevice)
{
    StoreScenario(CLSID_Orvix61CapSrc1, "drop 2");
    const ProgramResult run = RunTool(L"--device 1 --format 3 --frames 5 --verify --output \""
                                      + ImagePath(L".png") + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "  Scenario:      drop 2 (stored for Orvix61 Capture Source "
                                     "Test 1)\n"))
        << run.output;
    // --faults takes the place of the stored one for this capture alone.
    const ProgramResult none = RunTool(
        L"--device 1 --format 3 --frames 5 --verify --faults \"\" --output \"" + imagePath + L"\"");
    EXPECT_EQ(0u, none.exitCode) << none.output;
    EXPECT_TRUE(Contains(none.output,
                         "  Scenario:      none: every frame once, as made (given with "
                         "--faults)\n"))
        << none.output;
    EXPECT_TRUE(Contains(none.output, "  Frame numbers: first 0, last 4\n")) << none.output;
}

// A stream that ends, aborts, loses its device, stalls or fails to start ends the capture
// with its own exit code, and what came is reported all the same. It is complete only where
// the scenario ends the stream: after a stall the camera would have sent more.
TEST_F(CaptureTool, EndsTheCaptureWhenTheStreamEndsOrStallsAndReportsWhatCame)
{
    const char* const everySent = "  Result:        exactly what the camera sent under the "
                                  "scenario\n";
    struct Case
    {
        const wchar_t* faults;
        DWORD exitCode;
        const char* message;
        const char* verified;
        const char* result;
    };
    const Case cases[] = {
        {L"lose-device 5", 6,
         "orvix-capture: the device was lost (EC_DEVICE_LOST) after 5 of 20 frames; what came is "
         "reported\n",
         "  Verified:      5 frames: 5 exact\n", everySent},
        {L"abort 4 0x80070015", 6, "orvix-capture: the stream was aborted (EC_ERRORABORT, ",
         "  Verified:      4 frames: 4 exact\n", everySent},
        {L"end 3; drop 1", 6,
         "orvix-capture: the device's stream ended (EC_COMPLETE) after 2 of 20 frames; what came "
         "is reported\n",
         "  Verified:      2 frames: 2 exact\n", everySent},
        {L"stall 2 600000", 7,
         "orvix-capture: no frame came for 15 s after 2 of 20 frames; what came is reported\n",
         "  Verified:      2 frames: 2 exact\n",
         "  Not verified:  the frames the camera would have sent after the capture stopped "
         "early, as no frame came for 15 s after 2 of 20 frames\n"
         "  Result:        NOT complete: the frames verified are what the camera sent, but not "
         "every frame was verified\n"},
        // Wine's graph starts its filters on a thread of its own and reports the failure as
        // its own.
        {L"fail-start 0x8007001F", 1, "orvix-capture: running the graph failed: ", nullptr,
         nullptr},
    };
    for (const Case& test : cases) {
        const ProgramResult run =
            RunTool(std::wstring(L"--format 3 --frames 20 --verify --faults \"") + test.faults
                    + L"\" --output \"" + ImagePath(L".png") + L"\"");
        ASSERT_TRUE(run.finished) << run.output;
        EXPECT_EQ(test.exitCode, run.exitCode) << run.output;
        EXPECT_TRUE(Contains(run.output, test.message)) << run.output;
        if (!test.verified)
            continue;
        EXPECT_TRUE(Contains(run.output, test.verified)) << run.output;
        EXPECT_TRUE(Contains(run.output, test.result)) << run.output;
        EXPECT_TRUE(Contains(run.output, "(first frame, 24-bit PNG)")) << run.output;
    }
    const ProgramResult aborted =
        RunTool(L"--format 3 --frames 20 --faults \"abort 0 0x80070015\"");
    EXPECT_EQ(6u, aborted.exitCode) << aborted.output;
    // The abort's result is named once, with the system's text for it where there is one.
    const size_t event = aborted.output.find("(EC_ERRORABORT, ");
    ASSERT_NE(event, std::string::npos) << aborted.output;
    const std::string line = aborted.output.substr(event, aborted.output.find('\n', event) - event);
    const size_t code = line.find("0x80070015");
    EXPECT_NE(code, std::string::npos) << line;
    EXPECT_EQ(line.find("80070015", code + strlen("0x80070015")), std::string::npos) << line;
    EXPECT_TRUE(Contains(aborted.output, "Frames:      0\nRate:        needs two frames or more\n"))
        << aborted.output;
    EXPECT_TRUE(Contains(aborted.output, "Image:       none saved: no frame came\n"))
        << aborted.output;
    // One frame wanted is one frame, not "1 frames".
    const ProgramResult single = RunTool(L"--format 3 --frames 1 --faults \"abort 0 0x80070015\"");
    EXPECT_EQ(6u, single.exitCode) << single.output;
    EXPECT_TRUE(Contains(single.output, ") after 0 of 1 frame; what came is reported\n"))
        << single.output;
}
