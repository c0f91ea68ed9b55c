#pragma once
// The files orvix-verify reads: raw frames back to back, read one frame at a time with
// 64-bit offsets, never whole; stills, read through the platform's imaging component; and
// numbered series of stills.
#include "framework/Ownership.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A numbered series starts at the first of the numbers 0 to this, less one, that exists,
// as ffmpeg's image series do.
constexpr int SeriesStartNumbers = 5;

// Files ending in .bmp or .png (in any case) are stills; every other file holds raw frames.
bool IsStillPath(const std::wstring& path);

// The files an argument names: for a pattern with one %d or %0Nd (frame%03d.png) that is
// not itself the name of a file, each number's file from the first that exists until one
// is missing; otherwise the argument itself. Empty when a pattern matches no file.
std::vector<std::wstring> ExpandInput(const std::wstring& argument);

// A file of raw frames, read forward from its start.
class RawFrameFile
{
public:
    // False, with `error` naming the reason, when the file cannot be opened for reading.
    bool Open(const std::wstring& path, std::string* error);
    uint64_t Size() const { return size; }
    // Reads the next `bytes` bytes, or as many as remain. False, with `error`, when the
    // system fails the read.
    bool Read(BYTE* buffer, size_t bytes, size_t* read, std::string* error);

private:
    UniqueHandle file;
    uint64_t size = 0;
};

// A still's pixels, top row first, rows unpadded.
struct StillImage
{
    UINT width = 0;
    UINT height = 0;
    int pixelBytes = 0;    // 3: blue, green, red; 4: and a fourth byte
    std::vector<BYTE> pixels;
};

// Reads the still when it is `width` x `height` with 24 bits per pixel, or 32 when
// `fourByteFrames`. Otherwise false, with `error` naming its size or depth against the
// format's; the pixels are then not read. Needs the component runtime on the thread.
bool ReadStill(const std::wstring& path, LONG width, LONG height, bool fourByteFrames,
               StillImage* still, std::string* error);
