#include "TestCamera.h"
#include <climits>
#include <cstdio>
#include <cstdlib>

bool TestCamera::Open()
{
    return true;
}

void TestCamera::OnStreamStart()
{
    // The simulated sensor has nothing to wind up.
}

void TestCamera::ConfigureGeometry(LONG width, LONG height, LONG bitCount)
{
    geometry.height = height < 0 ? -height : height;
    geometry.width = width;
    geometry.bitsPerPixel = bitCount;
    if (width == 2048) {
        geometry.frameRate = 6.0;
        geometry.decimation = 1;
    } else if (width == 1024) {
        geometry.frameRate = 18.0;
        geometry.decimation = 2;
    } else {
        geometry.frameRate = 30.0;
        geometry.decimation = 4;
    }
    UpdateFrameBytes();
}

void TestCamera::UpdateFrameBytes()
{
    // Formed in 64 bits and saturated: a connection may carry a bit count or a size no
    // camera has, and the product must not wrap into a small or negative byte count.
    const LONGLONG bytes = LONGLONG(geometry.width) * geometry.height * geometry.bitsPerPixel / 8;
    geometry.frameBytes = bytes > LONG_MAX ? LONG_MAX : bytes < LONG_MIN ? LONG_MIN : LONG(bytes);
}

bool TestCamera::CaptureFrame(BYTE* buffer, LONGLONG* stampMs, LONG* durationMs)
{
    for (LONG position = 0; position < geometry.frameBytes; ++position)
        buffer[position] = BYTE((rand() >> 6) & 0xFF);
    // Each frame draws one value more than it stores; the noise sequence the device has
    // always produced depends on it.
    rand();
    frameClock += 10;
    *stampMs = frameClock;
    *durationMs = 1;
    return true;
}

UINT EnumerateCameras(CameraEntry* entries, UINT capacity)
{
    WORD count = 0;
    while (count < capacity && count < 4) {
        entries[count].number = count + 1;
        std::snprintf(entries[count].name, sizeof(entries[count].name), "Test camera %d",
                      count + 1);
        ++count;
    }
    return count;
}
