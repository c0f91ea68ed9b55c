#include "FrameFormat.h"

#include "camera/TestCamera.h"

bool DescribeFrameFormat(FormatIndex index, FrameFormat* format)
{
    if (!IsCatalogueIndex(index))
        return false;
    const CaptureFormat& row = CaptureFormatAt(index);
    format->index = index;
    format->width = row.width;
    format->height = row.height;
    format->pixelBytes = row.bitCount / 8;
    // Every row of the table is a whole number of 4-byte units, so rows carry no padding.
    format->rowBytes = size_t(row.width) * size_t(format->pixelBytes);
    format->frameBytes = size_t(CameraFrameBytes(row.width, row.height, row.bitCount));
    format->nominalRate = row.framesPerSecond;
    return true;
}

bool FindFrameFormat(LONG width, LONG rows, int bitCount, FrameFormat* format)
{
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index) {
        const CaptureFormat& row = CaptureFormatAt(index);
        if (row.width == width && row.height == rows && row.bitCount == bitCount)
            return DescribeFrameFormat(index, format);
    }
    return false;
}
