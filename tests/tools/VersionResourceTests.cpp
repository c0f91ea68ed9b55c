// Every shipped binary names the project's one version: in its version resource, which
// the file's properties and bug reports show, and, for the tools, on --version.
#include "ChildProcess.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Shipped
{
    const char* path;
    const wchar_t* fileName;
    const char* versionOption;    // null for the module
};

const Shipped ShippedBinaries[] = {
    {ORVIX_MODULE_PATH, L"Orvix61Test.ax", nullptr},
    {ORVIX_CAPTURE_TOOL_PATH, L"orvix-capture.exe", "orvix-capture "},
    {ORVIX_VERIFY_TOOL_PATH, L"orvix-verify.exe", "orvix-verify "},
    {ORVIX_CAMERA_TOOL_PATH, L"orvix-camera.exe", "orvix-camera "},
};

// A string of the resource's US English Unicode block, or "<missing>".
std::wstring VersionString(const std::vector<BYTE>& resource, const wchar_t* name)
{
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(resource.data(), query.c_str(), &value, &length) || !value || !length)
        return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

std::wstring Wide(const char* text)
{
    return std::wstring(text, text + strlen(text));
}

TEST(VersionResource, EveryShippedBinaryCarriesTheProjectsVersion)
{
    const std::wstring version = Wide(ORVIX_EXPECTED_VERSION);
    for (const Shipped& binary : ShippedBinaries) {
        SCOPED_TRACE(binary.path);
        const std::wstring path = DosPath(binary.path);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_NE(size, 0u);
        std::vector<BYTE> resource(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, resource.data()));

        EXPECT_EQ(VersionString(resource, L"FileVersion"), version);
        EXPECT_EQ(VersionString(resource, L"ProductVersion"), version);
        EXPECT_EQ(VersionString(resource, L"ProductName"), L"Orvix61Test");
        EXPECT_EQ(VersionString(resource, L"OriginalFilename"), binary.fileName);
        EXPECT_NE(VersionString(resource, L"FileDescription"), L"<missing>");

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedLength = 0;
        ASSERT_TRUE(
            VerQueryValueW(resource.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength));
        ASSERT_GE(fixedLength, sizeof(VS_FIXEDFILEINFO));
        const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"."
                                     + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"."
                                     + std::to_wstring(HIWORD(fixed->dwFileVersionLS));
        EXPECT_EQ(numbers, version);
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

        if (binary.versionOption) {
            const ProgramResult run = RunProgram(L"\"" + path + L"\" --version");
            ASSERT_TRUE(run.finished);
            EXPECT_EQ(run.exitCode, 0u);
            std::string line = run.output;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            EXPECT_EQ(line, std::string(binary.versionOption) + ORVIX_EXPECTED_VERSION);
        }
    }
}

}    // namespace
