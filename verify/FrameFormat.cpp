#include "FrameFormat.h"

#include "camera/TestCamera.h"

bool DescribeFrameFormat(FormatIndex index, FrameFormat* format)
{
    if (index < FirstFormatIndex || index > LastFormatIndex)
        return false;
    BITMAPINFOHEADER header = {};
    FillBitmapHeader(index, FirstFormatIndex, &header);
    // The camera's own geometry gives the bytes it fills and the rate it announces.
    TestCamera camera;
    camera.ConfigureGeometry(header.biWidth, header.biHeight, header.biBitCount);
    const FrameGeometry& geometry = camera.Geometry();
    format->index = index;
    format->width = geometry.width;
    format->height = geometry.height;
    format->pixelBytes = int(geometry.bitsPerPixel / 8);
    // Every catalogue row is a whole number of 4-byte units, so rows carry no padding.
    format->rowBytes = size_t(geometry.width) * size_t(format->pixelBytes);
    format->frameBytes = size_t(geometry.frameBytes);
    format->nominalRate = geometry.frameRate;
    return true;
}

bool FindFrameFormat(LONG width, LONG rows, int bitCount, FrameFormat* format)
{
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index) {
        FrameFormat candidate;
        DescribeFrameFormat(index, &candidate);
        if (candidate.width == width && candidate.height == rows
            && candidate.pixelBytes * 8 == bitCount) {
            *format = candidate;
            return true;
        }
    }
    return false;
}

std::string FrameFormatName(const FrameFormat& format)
{
    return "RGB" + std::to_string(format.pixelBytes * 8) + " " + std::to_string(format.width) + "x"
           + std::to_string(format.height);
}
