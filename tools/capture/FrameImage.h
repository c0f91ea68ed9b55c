#pragma once
// A captured frame as an image file: PNG, or BMP for a name that ends in .bmp, 24 bits a
// pixel in either, the form every image viewer reads.
#include "ImageFile.h"

#include <windows.h>

#include <string>
#include <vector>

// The rows of a frame that `header` describes as the graph delivered it: uncompressed, 24
// or 32 bits a pixel, rows padded to 4 bytes, the top row first when the height is
// negative. A bottom-up frame's rows are copied into `flipped` top row first, and the
// rows point there. False, with `error` saying why, for any other frame or one shorter
// than its header says.
bool FrameRows(const BITMAPINFOHEADER& header, const BYTE* frame, size_t frameBytes,
               std::vector<BYTE>* flipped, PixelRows* rows, std::string* error);

// Writes the frame as the image file its name asks for. 32-bit pixels lose their fourth
// byte, which is not colour. False, with `error` saying why, when it cannot.
bool SaveFrameImage(const std::wstring& path, const BITMAPINFOHEADER& header, const BYTE* frame,
                    size_t frameBytes, std::string* error);
