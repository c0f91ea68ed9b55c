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

// The files an argument names, and for a numbered series the ones it leaves out.
struct InputFiles
{
    std::vector<std::wstring> files;
    bool series = false;
    // The number after the last file of the series, or the last first number looked for
    // when there is none; `missing` is its file's name.
    int endNumber = 0;
    std::wstring missing;
    // Files of the series whose numbers come after `endNumber`, which are not in `files`,
    // and the lowest numbered of them.
    uint64_t laterFiles = 0;
    std::wstring firstLater;
};

// For an argument whose file name (not its folder) holds one %d or %0Nd (frame%03d.png)
// and that is not itself the name of a file: each number's file from the first that
// exists until one is missing. Otherwise the argument itself.
InputFiles ExpandInput(const std::wstring& argument);

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
