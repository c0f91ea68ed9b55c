#pragma once
// The device layer behind each capture pin. In this build the device is simulated: it
// fills frames with generator noise and stamps them 10 ms apart. The camera holds state
// only: it takes no locks, reads no registry and knows no media types; its pin
// serialises every call.
#include <windows.h>

#include <cstdint>

// The negotiated frame layout. Only these fields have defaults at construction.
struct FrameGeometry
{
    LONG bitsPerPixel = 32;
    LONG height = 768;    // always positive; top-down headers carry a negative one
    LONG width = 1024;
    double frameRate = 6.0;    // until the first ConfigureGeometry
    LONG decimation = 0;       // the format's (FormatTable.h), first set by ConfigureGeometry
    LONG frameBytes = 0;       // width * height * bitsPerPixel / 8, first set by UpdateFrameBytes
};

// What a real sensor would be given by the pin's settings step; the simulated camera
// stores it and never reads it. Units are those of the settings value lists.
struct CameraParameters
{
    double intTime = 0;
    double gain = 0;
    double maxClip = 0;
    double minClip = 0;
    LONG autoLevels = 0;
    LONG autoExposure = 0;
    double flickerHz = 0;    // 0.0 (off), 50.0 or 60.0
    // Limits and tuning of the automatic exposure. No setting chooses the min limits or
    // the last three: the settings step gives every camera the same values.
    double minGain = 0;
    double maxGain = 0;
    double minIntTime = 0;
    double maxIntTime = 0;
    double exposureTarget = 0;
    double exposureTolerance = 0;
    double exposureDamping = 0;
    char cameraName[128] = {};
};

class TestCamera
{
public:
    TestCamera() = default;

    // Always true for the simulated device.
    bool Open();
    // Called once per start of the pin's worker thread, on that thread before its first
    // frame. A new thread's rand() starts at the default seed, so from here on the camera
    // can make the frames of that thread from its own model of the generator.
    void OnStreamStart();
    // Height may carry either sign. Rate and decimation are those of the table's first
    // format of the width, or the table's unlisted ones for a width it does not hold.
    void ConfigureGeometry(LONG width, LONG height, LONG bitCount);
    void UpdateFrameBytes();
    // Fills frameBytes bytes of `buffer` (which must hold that many) with one rand() value
    // per byte and draws one value more, then advances the clock by 10 ms. Stamp and
    // duration are in milliseconds. After OnStreamStart the bytes come from the model,
    // each frame once rand() itself has confirmed the model's state, and the thread's
    // generator is left where the calls would have left it; until then, and for the rest
    // of the stream once rand() has strayed from the model, each byte is drawn.
    bool CaptureFrame(BYTE* buffer, LONGLONG* stampMs, LONG* durationMs);

    void SetParameters(const CameraParameters& given) { parameters = given; }

    const FrameGeometry& Geometry() const { return geometry; }
    const CameraParameters& Parameters() const { return parameters; }
    LONGLONG FrameClock() const { return frameClock; }
    // A fault scenario's hold on the clock: moved forward at a start (clock-wrap), and
    // advanced by a frame's time for a frame sent again (repeat). Returns the new stamp.
    void SetFrameClock(LONGLONG stampMs) { frameClock = stampMs; }
    LONGLONG AdvanceClock() { return frameClock += 10; }
    // Frames come from the model: OnStreamStart found the platform's rand() modelled, and
    // rand() on the streaming thread has not strayed from the model since.
    bool NoiseFromModel() const { return noiseFromModel; }

private:
    void FillNoiseFrame(BYTE* buffer);

    FrameGeometry geometry;
    CameraParameters parameters;
    LONGLONG frameClock = 0;    // stamp of the last frame; the first frame is stamped 10
    // Set by OnStreamStart on a platform whose rand() is the model; cleared for the rest of
    // the stream as soon as rand() on the streaming thread disagrees with it.
    bool noiseFromModel = false;
    uint32_t generatorState = 0;    // the streaming thread's, while noiseFromModel
};

// One simulated camera as listed for the filter property page.
struct CameraEntry
{
    LONG number;      // 1 to 4
    char name[32];    // "Test camera %d"
};

// The bytes the camera writes per frame of this layout: width × |height| × bits / 8, formed
// in 64 bits, so that no layout a connection may carry wraps it. The camera keeps it as its
// frameBytes; the pin asks its buffers at no less.
LONGLONG CameraFrameBytes(LONG width, LONG height, LONG bitsPerPixel);

// Fills up to `capacity` entries and returns how many: min(4, capacity).
UINT EnumerateCameras(CameraEntry* entries, UINT capacity);
