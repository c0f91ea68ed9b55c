#include "FrameImage.h"

#include "ToolText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {
// The largest side the tool writes; far beyond any camera, and small enough that a row
// and a whole frame fit in 32 bits.
constexpr LONG largestSide = 16384;
}    // namespace

bool FrameRows(const BITMAPINFOHEADER& header, const BYTE* frame, size_t frameBytes,
               std::vector<BYTE>* flipped, PixelRows* rows, std::string* error)
{
    if (header.biCompression != BI_RGB || (header.biBitCount != 24 && header.biBitCount != 32)) {
        *error = "only uncompressed 24- and 32-bit frames can be saved as images";
        return false;
    }
    // Wide enough for the height of LONG_MIN turned round.
    const int64_t width = header.biWidth;
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) {
        *error = "the frame's size is not a picture size";
        return false;
    }
    // 64-bit sizes, so that a 32-bit build cannot wrap them.
    const uint64_t rowBytes = (uint64_t(width) * header.biBitCount + 31) / 32 * 4;
    const uint64_t imageBytes = rowBytes * uint64_t(height);
    if (!frame || frameBytes < imageBytes) {
        *error = "the frame holds fewer bytes than its format needs";
        return false;
    }
    rows->width = UINT(width);
    rows->height = UINT(height);
    rows->bitsPerPixel = header.biBitCount;
    rows->stride = rowBytes;
    rows->bytes = size_t(imageBytes);
    if (header.biHeight < 0) {
        rows->first = frame;
        return true;
    }
    // A bottom-up frame starts with the picture's bottom row, and the imaging component
    // takes the top row first.
    flipped->resize(size_t(imageBytes));
    for (int64_t line = 0; line < height; ++line)
        memcpy(flipped->data() + size_t(line) * size_t(rowBytes),
               frame + size_t(height - 1 - line) * size_t(rowBytes), size_t(rowBytes));
    rows->first = flipped->data();
    return true;
}

bool SaveFrameImage(const std::wstring& path, const BITMAPINFOHEADER& header, const BYTE* frame,
                    size_t frameBytes, std::string* error)
{
    std::vector<BYTE> flipped;
    PixelRows rows;
    if (!FrameRows(header, frame, frameBytes, &flipped, &rows, error))
        return false;
    const HRESULT hr = SaveImage(rows, ImageFileTypeFor(path), path);
    if (SUCCEEDED(hr))
        return true;
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) {
        *error = SystemErrorText(HRESULT_CODE(hr));
        return false;
    }
    char code[16];
    snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    *error = std::string("the platform's imaging component cannot write it (") + code + ")";
    return false;
}
