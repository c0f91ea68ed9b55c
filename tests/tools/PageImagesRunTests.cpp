// orvix-page-images run as the render script runs it, against the built module
// registered with regsvr32: its exit codes and the two images it writes.
#include "ModuleUnderTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

ProgramResult RunTool(const std::wstring& arguments)
{
    return RunProgram(L"\"" + DosPath(ORVIX_PAGE_IMAGES_PATH) + L"\" " + arguments);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

struct PngSize
{
    bool valid = false;
    ULONG width = 0;
    ULONG height = 0;
};

// The size a PNG file's header gives, read from the bytes themselves.
PngSize ReadPngSize(const std::wstring& path)
{
    PngSize size;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    BYTE header[24] = {};
    DWORD read = 0;
    if (!file.IsValid() || !ReadFile(file.Get(), header, sizeof(header), &read, nullptr)
        || read != sizeof(header))
        return size;
    static const BYTE signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto bigEndian = [&](int at) {
        return ULONG(header[at]) << 24 | ULONG(header[at + 1]) << 16 | ULONG(header[at + 2]) << 8
               | ULONG(header[at + 3]);
    };
    size.valid =
        memcmp(header, signature, sizeof(signature)) == 0 && memcmp(header + 12, "IHDR", 4) == 0;
    size.width = bigEndian(16);
    size.height = bigEndian(20);
    return size;
}

class PageImagesTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Register(true);
        Register(false);
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        filterImage = std::wstring(folder) + L"orvix-filter-page-test.png";
        pinImage = std::wstring(folder) + L"orvix-pin-page-test.png";
        RemoveImages();
    }

    void TearDown() override
    {
        Register(true);
        RemoveImages();
    }

    static void Register(bool unregister)
    {
        const ProgramResult run = Regsvr32(unregister);
        ASSERT_TRUE(run.finished && run.exitCode == 0) << run.output;
    }

    void RemoveImages() const
    {
        DeleteFileW(filterImage.c_str());
        DeleteFileW(pinImage.c_str());
    }

    std::wstring Images() const { return L"\"" + filterImage + L"\" \"" + pinImage + L"\""; }

    std::wstring filterImage;
    std::wstring pinImage;
};

}    // namespace

TEST_F(PageImagesTool, WritesTheFrameOfEachPageAsAPngImage)
{
    const ProgramResult run = RunTool(Images());
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode) << run.output;
    const PngSize filter = ReadPngSize(filterImage);
    const PngSize pin = ReadPngSize(pinImage);
    ASSERT_TRUE(filter.valid);
    ASSERT_TRUE(pin.valid);
    EXPECT_TRUE(Contains(run.output, "orvix-filter-page-test.png: " + std::to_string(filter.width)
                                         + " x " + std::to_string(filter.height)))
        << run.output;
    // Both frames are wider than their pages (211 and 216 dialog units); the filter
    // page is more than twice as tall as the pin page (207 and 99).
    EXPECT_GT(filter.width, 300u);
    EXPECT_GT(pin.width, 300u);
    EXPECT_GT(filter.height, pin.height + 100);
}

TEST_F(PageImagesTool, SaysTheModuleIsNotRegisteredWhenItIsNot)
{
    Register(true);
    const ProgramResult run = RunTool(Images());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(3u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "the module is not registered")) << run.output;
    EXPECT_FALSE(ReadPngSize(filterImage).valid);
}

TEST_F(PageImagesTool, WantsExactlyTwoImagePaths)
{
    for (const std::wstring& arguments : {std::wstring(), L"\"" + filterImage + L"\""}) {
        const ProgramResult run = RunTool(arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(2u, run.exitCode) << run.output;
        EXPECT_TRUE(Contains(run.output, "usage: orvix-page-images")) << run.output;
    }
    EXPECT_FALSE(ReadPngSize(filterImage).valid);
}
