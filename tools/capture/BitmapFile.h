#pragma once
// A captured frame as a BMP file: 24 bits per pixel, rows stored bottom-up, the form
// every image viewer reads.
#include <windows.h>

#include <string>
#include <vector>

// The whole file for a frame that `header` describes as the graph delivered it:
// uncompressed, 24 or 32 bits per pixel, rows padded to 4 bytes, the top row first when
// the height is negative. 32-bit pixels lose their fourth byte, which is not colour.
// Empty, with `error` saying why, for any other frame or one shorter than its header says.
std::vector<BYTE> EncodeBitmap(const BITMAPINFOHEADER& header, const BYTE* frame, size_t frameBytes,
                               std::string* error);

bool WriteBitmapFile(const std::wstring& path, const BITMAPINFOHEADER& header, const BYTE* frame,
                     size_t frameBytes, std::string* error);
