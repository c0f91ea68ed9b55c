#include "WindowImage.h"

#include "ImageFile.h"

#include <cstdint>

namespace {

constexpr UINT BytesPerPixel = 4;

// Owners of the drawing objects that one capture needs.
class WindowDc
{
public:
    explicit WindowDc(HWND window) : window(window), dc(GetWindowDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc()
    {
        if (dc)
            ReleaseDC(window, dc);
    }
    HDC Get() const { return dc; }

private:
    const HWND window;
    const HDC dc;
};

class MemoryDc
{
public:
    explicit MemoryDc(HDC compatibleWith) : dc(CreateCompatibleDC(compatibleWith)) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc()
    {
        if (dc)
            DeleteDC(dc);
    }
    HDC Get() const { return dc; }

private:
    const HDC dc;
};

class GdiBitmap
{
public:
    explicit GdiBitmap(HBITMAP owned) : bitmap(owned) {}
    GdiBitmap(const GdiBitmap&) = delete;
    GdiBitmap& operator=(const GdiBitmap&) = delete;
    ~GdiBitmap()
    {
        if (bitmap)
            DeleteObject(bitmap);
    }
    HBITMAP Get() const { return bitmap; }

private:
    const HBITMAP bitmap;
};

// Keeps a bitmap selected into a memory DC, and puts the DC's own bitmap back, so that
// the bitmap can be deleted afterwards.
class Selection
{
public:
    Selection(HDC dc, HBITMAP bitmap) : dc(dc), previous(SelectObject(dc, bitmap)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection()
    {
        if (previous)
            SelectObject(dc, previous);
    }
    bool IsValid() const { return previous != nullptr; }

private:
    const HDC dc;
    const HGDIOBJ previous;
};

}    // namespace

bool CaptureWindow(HWND window, WindowImage* image)
{
    // Whatever is pending is drawn before the copy, frame and children included: the
    // window belongs to this thread, so this paints it here and now.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT bounds;
    if (!GetWindowRect(window, &bounds))
        return false;
    const LONG width = bounds.right - bounds.left;
    const LONG height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0)
        return false;

    WindowDc source(window);
    if (!source.Get())
        return false;
    MemoryDc target(source.Get());
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;    // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiBitmap bitmap(CreateDIBSection(source.Get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!target.Get() || !bitmap.Get() || !bits)
        return false;
    {
        Selection hold(target.Get(), bitmap.Get());
        if (!hold.IsValid()
            || !BitBlt(target.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY))
            return false;
    }
    GdiFlush();
    const BYTE* first = static_cast<const BYTE*>(bits);
    image->width = UINT(width);
    image->height = UINT(height);
    image->pixels.assign(first, first + size_t(width) * size_t(height) * BytesPerPixel);
    return true;
}

HRESULT SavePng(const WindowImage& image, const std::wstring& path)
{
    PixelRows rows;
    rows.width = image.width;
    rows.height = image.height;
    rows.bitsPerPixel = BytesPerPixel * 8;
    rows.stride = uint64_t(image.width) * BytesPerPixel;
    rows.first = image.pixels.data();
    rows.bytes = image.pixels.size();
    return SaveImage(rows, ImageFileType::Png, path);
}
