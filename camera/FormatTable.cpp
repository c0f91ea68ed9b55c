#include "FormatTable.h"

#include <cstdio>

std::string FormatSummary(const CaptureFormat& format)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%ldx%ld %s at %g fps", long(format.width),
                  long(format.height), format.colourSpace, format.framesPerSecond);
    return text;
}
