#pragma once
// The capture formats, one row each: the only place a format's size, depth, rate and
// number are written. The catalogue, the camera, the pin page and the tools read them
// from here; adding a format is a row below, and room for it on the pin page's dialog.
#include <windows.h>
#include <dshow.h>

#include <iterator>
#include <string>

// A position in the table, counted from 1. 0 stands for the pin's preferred index; any
// other value outside the table, a preferred index out of range included, counts as 1.
using FormatIndex = LONG;

struct CaptureFormat
{
    LONG width;
    LONG height;    // rows; the headers written for it carry it negated (top-down)
    WORD bitCount;
    const GUID* subtype;
    const char* colourSpace;    // the subtype's name, as the pin page lists it
    // The nominal rate, which the page shows and the camera runs the format at.
    double framesPerSecond;
    LONG decimation;    // sensor columns per frame column: 2048 / width
};

// The numbering is stored by users ("PreferedIndex") and given on command lines: new
// formats go at the end.
inline constexpr CaptureFormat FormatCatalogue[] = {
    {2048, 1536, 32, &MEDIASUBTYPE_RGB32, "RGB32", 6.0, 1},
    {1024, 768, 32, &MEDIASUBTYPE_RGB32, "RGB32", 18.0, 2},
    {512, 384, 32, &MEDIASUBTYPE_RGB32, "RGB32", 30.0, 4},
    {2048, 1536, 24, &MEDIASUBTYPE_RGB24, "RGB24", 6.0, 1},
    {1024, 768, 24, &MEDIASUBTYPE_RGB24, "RGB24", 18.0, 2},
    {512, 384, 24, &MEDIASUBTYPE_RGB24, "RGB24", 30.0, 4},
};

constexpr FormatIndex PreferredFormatIndex = 0;
constexpr FormatIndex FirstFormatIndex = 1;
constexpr FormatIndex LastFormatIndex = FormatIndex(std::size(FormatCatalogue));

// A frame width the table does not hold (a connection made through IAMStreamConfig
// may carry one) is run at this rate and decimation.
constexpr double UnlistedFramesPerSecond = 30.0;
constexpr LONG UnlistedDecimation = 4;

// A rate's frame interval in 100-nanosecond units, truncated as listed types carry it:
// 6 frames per second give 1666666.
constexpr REFERENCE_TIME FrameIntervalAt(double framesPerSecond)
{
    return REFERENCE_TIME(10000000.0 / framesPerSecond);
}

constexpr bool IsCatalogueIndex(FormatIndex index)
{
    return index >= FirstFormatIndex && index <= LastFormatIndex;
}

// The format `index` names; an index outside the table names the first.
constexpr const CaptureFormat& CaptureFormatAt(FormatIndex index)
{
    return FormatCatalogue[IsCatalogueIndex(index) ? index - FirstFormatIndex : 0];
}

// "2048x1536 RGB32 at 6 fps": a format as the tools' texts name it.
std::string FormatSummary(const CaptureFormat& format);
