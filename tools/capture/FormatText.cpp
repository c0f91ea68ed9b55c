#include "FormatText.h"

#include "ToolText.h"
#include "camera/FormatTable.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::string SubtypeName(const GUID& subtype)
{
    if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB32))
        return "RGB32";
    if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB24))
        return "RGB24";
    wchar_t text[39] = {};
    StringFromGUID2(subtype, text, 39);
    return "subtype " + Utf8(text);
}

// "166.667 ms a frame (6.00 frames per second)".
std::string IntervalText(REFERENCE_TIME interval)
{
    char text[80];
    snprintf(text, sizeof(text), "%.3f ms a frame (%.2f frames per second)",
             double(interval) / 10000.0, 1e7 / double(interval));
    return text;
}
}    // namespace

std::string FormatText(const VIDEOINFOHEADER& header, const GUID& subtype)
{
    char text[160];
    snprintf(text, sizeof(text), "%ldx%ld %s, %s, %lu bytes per frame",
             long(header.bmiHeader.biWidth), labs(header.bmiHeader.biHeight),
             SubtypeName(subtype).c_str(), header.bmiHeader.biHeight < 0 ? "top-down" : "bottom-up",
             static_cast<unsigned long>(header.bmiHeader.biSizeImage));
    return text;
}

std::string RateText(double cameraRate, REFERENCE_TIME announcedInterval)
{
    const bool announced = announcedInterval > 0;
    if (cameraRate <= 0)
        return announced
                   ? "Announced:   " + IntervalText(announcedInterval) + ", by the connection type"
                   : "Announced:   no frame interval, by the connection type";
    char text[64];
    snprintf(text, sizeof(text), "Camera rate: %g frames per second nominally", cameraRate);
    if (!announced)
        return std::string(text) + "; its connection type announces no frame interval";
    if (announcedInterval == FrameIntervalAt(cameraRate))
        return std::string(text) + ", as its connection type announces";
    return std::string(text) + "; its connection type announces " + IntervalText(announcedInterval);
}
