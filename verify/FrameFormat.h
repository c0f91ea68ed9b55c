#pragma once
// A format of the format table as the frame verifier reads it: the size and layout of one
// frame as the camera fills it, and the rate the camera runs it at.
#include "camera/FormatTable.h"

#include <windows.h>

#include <cstddef>

struct FrameFormat
{
    FormatIndex index = 0;
    LONG width = 0;
    LONG height = 0;       // rows; the first is the top of the picture
    int pixelBytes = 0;    // 4 for RGB32, 3 for RGB24
    size_t rowBytes = 0;
    size_t frameBytes = 0;
    double nominalRate = 0;    // frames per second
};

// False for an index outside the table (which the table itself would read as 1).
bool DescribeFrameFormat(FormatIndex index, FrameFormat* format);

// The table's format of frames of this width, number of rows and bit count, or false.
bool FindFrameFormat(LONG width, LONG rows, int bitCount, FrameFormat* format);
