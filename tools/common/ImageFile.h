#pragma once
// Pictures written as image files through the platform's imaging component: PNG, or BMP
// when the file's name ends in .bmp.
#include <windows.h>

#include <cstdint>
#include <string>

// Rows of pixels in memory, the top row first: blue, green and red and, at 32 bits a pixel,
// a fourth byte that is not colour and is left out of the file.
struct PixelRows
{
    UINT width = 0;
    UINT height = 0;
    UINT bitsPerPixel = 0;    // 24 or 32
    uint64_t stride = 0;      // bytes from the start of one row to the start of the next
    const BYTE* first = nullptr;
    size_t bytes = 0;    // how many bytes there are from `first` on
};

enum class ImageFileType
{
    Png,
    Bmp,
};

// BMP for a name that ends in .bmp, in any case; PNG for every other name.
ImageFileType ImageFileTypeFor(const std::wstring& path);

// Writes the pixels as a 24-bit image file of the type. E_INVALIDARG, with no file
// written, for rows that are not as described: empty, of another depth, with a stride
// shorter than a row, or with fewer bytes than the rows take. The imaging component takes
// a picture of at most 4 GB less one byte. Needs the component runtime on the thread.
HRESULT SaveImage(const PixelRows& rows, ImageFileType type, const std::wstring& path);
