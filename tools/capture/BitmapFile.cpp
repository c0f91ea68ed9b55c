#include "BitmapFile.h"

#include "framework/Ownership.h"

#include <cstdlib>
#include <cstring>

namespace {
size_t RowBytes(LONG width, WORD bitCount)
{
    return (size_t(width) * bitCount + 31) / 32 * 4;
}
}    // namespace

std::vector<BYTE> EncodeBitmap(const BITMAPINFOHEADER& header, const BYTE* frame, size_t frameBytes,
                               std::string* error)
{
    if (header.biCompression != BI_RGB || (header.biBitCount != 24 && header.biBitCount != 32)) {
        *error = "only uncompressed 24- and 32-bit frames can be written as BMP";
        return {};
    }
    const LONG width = header.biWidth;
    const LONG height = std::labs(header.biHeight);
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        *error = "the frame's size is not a picture size";
        return {};
    }
    const size_t sourceRow = RowBytes(width, header.biBitCount);
    if (!frame || frameBytes < sourceRow * size_t(height)) {
        *error = "the frame holds fewer bytes than its format needs";
        return {};
    }
    const size_t pixelBytes = header.biBitCount / 8;
    const size_t fileRow = RowBytes(width, 24);
    const size_t headersBytes = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    std::vector<BYTE> file(headersBytes + fileRow * size_t(height), 0);

    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;    // "BM"
    fileHeader.bfSize = DWORD(file.size());
    fileHeader.bfOffBits = DWORD(headersBytes);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;    // positive: the file's first row is the picture's bottom
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = DWORD(fileRow * size_t(height));
    memcpy(file.data(), &fileHeader, sizeof(fileHeader));
    memcpy(file.data() + sizeof(fileHeader), &info, sizeof(info));

    // A top-down frame starts with the picture's top row, which goes last in the file.
    const bool topDown = header.biHeight < 0;
    for (LONG fileLine = 0; fileLine < height; ++fileLine) {
        const LONG sourceLine = topDown ? height - 1 - fileLine : fileLine;
        const BYTE* source = frame + size_t(sourceLine) * sourceRow;
        BYTE* target = file.data() + headersBytes + size_t(fileLine) * fileRow;
        for (LONG x = 0; x < width; ++x)
            memcpy(target + size_t(x) * 3, source + size_t(x) * pixelBytes, 3);
    }
    return file;
}

bool WriteBitmapFile(const std::wstring& path, const BITMAPINFOHEADER& header, const BYTE* frame,
                     size_t frameBytes, std::string* error)
{
    const std::vector<BYTE> file = EncodeBitmap(header, frame, frameBytes, error);
    if (file.empty())
        return false;
    UniqueHandle output(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!output.IsValid()
        || !WriteFile(output.Get(), file.data(), DWORD(file.size()), &written, nullptr)
        || written != file.size()) {
        *error = "cannot write the image file (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}
