#include "TestCamera.h"

#include "FormatTable.h"
#include "NoiseGenerator.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

bool TestCamera::Open()
{
    return true;
}

void TestCamera::OnStreamStart()
{
    // Only an assumption until the first frame confirms it: something may have drawn on
    // this thread already.
    noiseFromModel = PlatformGeneratorIsModelled();
    generatorState = GeneratorDefaultSeed;
}

void TestCamera::ConfigureGeometry(LONG width, LONG height, LONG bitCount)
{
    geometry.height = height < 0 ? -height : height;
    geometry.width = width;
    geometry.bitsPerPixel = bitCount;
    geometry.frameRate = UnlistedFramesPerSecond;
    geometry.decimation = UnlistedDecimation;
    // The first format of the width: formats of one width differ only in depth.
    for (const CaptureFormat& format : FormatCatalogue) {
        if (format.width == width) {
            geometry.frameRate = format.framesPerSecond;
            geometry.decimation = format.decimation;
            break;
        }
    }
    UpdateFrameBytes();
}

void TestCamera::UpdateFrameBytes()
{
    // Saturated: a connection may carry a bit count or a size no camera has, and the
    // count must not wrap into a small or negative one.
    const LONGLONG bytes = CameraFrameBytes(geometry.width, geometry.height, geometry.bitsPerPixel);
    geometry.frameBytes = bytes > LONG_MAX ? LONG_MAX : bytes < LONG_MIN ? LONG_MIN : LONG(bytes);
}

bool TestCamera::CaptureFrame(BYTE* buffer, LONGLONG* stampMs, LONG* durationMs)
{
    FillNoiseFrame(buffer);
    frameClock += 10;
    *stampMs = frameClock;
    *durationMs = 1;
    return true;
}

void TestCamera::FillNoiseFrame(BYTE* buffer)
{
    const LONG frameBytes = geometry.frameBytes;
    LONG position = 0;
    if (noiseFromModel) {
        // The frame's first bytes are drawn from rand() itself. When they all agree with
        // the model, the thread's generator is where the model says, bit for bit as far
        // as any value shows; a downstream filter that drew on this thread, or a thread
        // that had drawn before the stream, makes them disagree.
        const LONG confirming = frameBytes < ConfirmingDraws ? frameBytes : ConfirmingDraws;
        while (noiseFromModel && position < confirming) {
            const int value = rand();
            buffer[position++] = NoiseByte(value);
            generatorState = GeneratorStep(generatorState);
            noiseFromModel = value == GeneratorValue(generatorState);
        }
        if (noiseFromModel && position == ConfirmingDraws) {
            generatorState = FillNoise(generatorState, buffer + position,
                                       size_t(frameBytes - position), FastestNoiseKernel());
            // The value drawn beyond the frame's bytes, then the thread's generator goes
            // where frameBytes + 1 draws would have taken it.
            generatorState = GeneratorStep(generatorState);
            srand(generatorState);
            return;
        }
    }
    for (; position < frameBytes; ++position)
        buffer[position] = NoiseByte(rand());
    // Each frame draws one value more than it stores; the noise sequence the device has
    // always produced depends on it.
    const int beyond = rand();
    if (noiseFromModel) {
        generatorState = GeneratorStep(generatorState);
        noiseFromModel = beyond == GeneratorValue(generatorState);
    }
}

LONGLONG CameraFrameBytes(LONG width, LONG height, LONG bitsPerPixel)
{
    const LONGLONG rows = height < 0 ? -LONGLONG(height) : LONGLONG(height);
    return LONGLONG(width) * rows * bitsPerPixel / 8;
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
