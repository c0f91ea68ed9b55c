#pragma once
// A window as the screen shows it, frame and children included, and its PNG file.
#include <windows.h>

#include <string>
#include <vector>

// 32 bits a pixel (blue, green, red, one unused byte), top row first, rows unpadded.
struct WindowImage
{
    UINT width = 0;
    UINT height = 0;
    std::vector<BYTE> pixels;
};

// Paints the window and its children now and copies the window's whole rectangle, frame
// included. Call on the window's thread, which is the one that paints it. False when
// nothing could be copied; the image is then unchanged.
bool CaptureWindow(HWND window, WindowImage* image);

// Writes the image as a 24-bit PNG file; E_INVALIDARG for an image with fewer pixels than
// its size takes.
HRESULT SavePng(const WindowImage& image, const std::wstring& path);
