// Capturing a window and writing it as PNG, checked against real windows and the
// platform's own PNG decoder.
#include "WindowImage.h"
#include "framework/Ownership.h"

#include <gtest/gtest.h>
#include <wincodec.h>

#include <string>

namespace {

constexpr COLORREF Background = RGB(10, 120, 230);
constexpr COLORREF ChildColour = RGB(200, 30, 60);
constexpr int Width = 64, Height = 48;
constexpr RECT ChildRect = {8, 4, 24, 16};    // left, top, right, bottom

// A borderless window of one colour with a child of another near its top left corner,
// so that a capture turned upside down or with its colours swapped shows.
class ColouredWindows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backgroundBrush = CreateSolidBrush(Background);
        childBrush = CreateSolidBrush(ChildColour);
        Register("OrvixImageTestWindow", backgroundBrush);
        Register("OrvixImageTestChild", childBrush);
        window = CreateWindowExA(0, "OrvixImageTestWindow", "", WS_POPUP | WS_VISIBLE, 0, 0, Width,
                                 Height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(CreateWindowExA(0, "OrvixImageTestChild", "", WS_CHILD | WS_VISIBLE,
                                  ChildRect.left, ChildRect.top, ChildRect.right - ChildRect.left,
                                  ChildRect.bottom - ChildRect.top, window, nullptr,
                                  GetModuleHandleA(nullptr), nullptr),
                  nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(window);
        DeleteObject(backgroundBrush);
        DeleteObject(childBrush);
        if (!pngPath.empty())
            DeleteFileW(pngPath.c_str());
    }

    static void Register(const char* name, HBRUSH brush)
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = brush;
        windowClass.lpszClassName = name;
        RegisterClassA(&windowClass);
    }

    // A file in the prefix's temporary folder, removed when the test ends.
    const std::wstring& PngPath()
    {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        pngPath = std::wstring(folder) + L"orvix-window-image-test.png";
        DeleteFileW(pngPath.c_str());
        return pngPath;
    }

    HBRUSH backgroundBrush = nullptr;
    HBRUSH childBrush = nullptr;
    HWND window = nullptr;
    std::wstring pngPath;
};

COLORREF PixelAt(const WindowImage& image, UINT x, UINT y)
{
    const BYTE* pixel = &image.pixels[(size_t(y) * image.width + x) * 4];
    return RGB(pixel[2], pixel[1], pixel[0]);
}

// The PNG file as the platform's decoder reads it, in the capture's own pixel layout.
HRESULT ReadPng(const std::wstring& path, WindowImage* image)
{
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> converted;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, factory.PutVoid());
    if (SUCCEEDED(result))
        result = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                    WICDecodeMetadataCacheOnDemand, decoder.Put());
    if (SUCCEEDED(result))
        result = decoder->GetFrame(0, frame.Put());
    if (SUCCEEDED(result))
        result = WICConvertBitmapSource(GUID_WICPixelFormat32bppBGR, frame.Get(), converted.Put());
    if (SUCCEEDED(result))
        result = converted->GetSize(&image->width, &image->height);
    if (FAILED(result))
        return result;
    image->pixels.assign(size_t(image->width) * image->height * 4, 0);
    return converted->CopyPixels(nullptr, image->width * 4, UINT(image->pixels.size()),
                                 image->pixels.data());
}

}    // namespace

TEST_F(ColouredWindows, CaptureHoldsTheWindowAndItsChildTopRowFirst)
{
    WindowImage image;
    ASSERT_TRUE(CaptureWindow(window, &image));
    ASSERT_EQ(UINT(Width), image.width);
    ASSERT_EQ(UINT(Height), image.height);
    ASSERT_EQ(size_t(Width) * Height * 4, image.pixels.size());
    EXPECT_EQ(Background, PixelAt(image, 0, 0));
    EXPECT_EQ(ChildColour, PixelAt(image, ChildRect.left, ChildRect.top));
    EXPECT_EQ(ChildColour, PixelAt(image, ChildRect.right - 1, ChildRect.bottom - 1));
    EXPECT_EQ(Background, PixelAt(image, ChildRect.right, ChildRect.bottom));
    EXPECT_EQ(Background, PixelAt(image, ChildRect.left, Height - 1 - ChildRect.top));
    EXPECT_EQ(Background, PixelAt(image, Width - 1, Height - 1));
}

TEST_F(ColouredWindows, PngFileReadsBackAsTheCapturedPixels)
{
    WindowImage captured, read;
    ASSERT_TRUE(CaptureWindow(window, &captured));
    ASSERT_EQ(S_OK, SavePng(captured, PngPath()));
    ASSERT_EQ(S_OK, ReadPng(pngPath, &read));
    ASSERT_EQ(captured.width, read.width);
    ASSERT_EQ(captured.height, read.height);
    for (UINT y = 0; y < read.height; ++y)
        for (UINT x = 0; x < read.width; ++x)
            ASSERT_EQ(PixelAt(captured, x, y), PixelAt(read, x, y)) << x << ", " << y;
}

TEST(WindowImage, RefusesToSaveAnImageWhosePixelsDisagreeWithItsSize)
{
    WindowImage image;
    image.width = 4;
    image.height = 3;
    image.pixels.assign(4 * 3 * 4 - 1, 0);
    EXPECT_EQ(E_INVALIDARG, SavePng(image, L"never-written.png"));
    image = WindowImage();
    EXPECT_EQ(E_INVALIDARG, SavePng(image, L"never-written.png"));
    // Sizes whose row or whole byte count wraps to one that the pixels match.
    image.width = 0x40000001;
    image.height = 3;
    image.pixels.assign(4 * 3, 0);
    EXPECT_EQ(E_INVALIDARG, SavePng(image, L"never-written.png"));
    image.width = 0x10000;
    image.height = 0x10000;
    image.pixels.clear();
    EXPECT_EQ(E_INVALIDARG, SavePng(image, L"never-written.png"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"never-written.png"));
}
