#include "NewThread.h"
#include "camera/TestCamera.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

BYTE NoiseByte(int generatorValue)
{
    return BYTE((generatorValue >> 6) & 0xFF);
}

// A seed after which the runtime's next rand() is `value`, found by running its linear
// congruential step backwards. The caller checks that the platform agrees.
unsigned SeedBefore(int value)
{
    const unsigned multiplier = 214013u;
    const unsigned increment = 2531011u;
    unsigned inverse = multiplier;    // Newton's iteration doubles the good bits
    for (int round = 0; round < 5; ++round)
        inverse *= 2u - multiplier * inverse;
    const unsigned nextState = unsigned(value) << 16;
    return (nextState - increment) * inverse;
}

TEST(TestCamera, StartsWithTheDefaultGeometry)
{
    TestCamera camera;
    EXPECT_TRUE(camera.Open());
    const FrameGeometry& geometry = camera.Geometry();
    EXPECT_EQ(geometry.bitsPerPixel, 32);
    EXPECT_EQ(geometry.width, 1024);
    EXPECT_EQ(geometry.height, 768);
    EXPECT_EQ(geometry.frameRate, 6.0);
    camera.UpdateFrameBytes();
    EXPECT_EQ(camera.Geometry().frameBytes, 3145728);
}

TEST(TestCamera, GeometryFollowsTheWidthAndTakesHeightOfEitherSign)
{
    struct Case
    {
        LONG width, height, bits;
        LONG expectedHeight;
        double rate;
        LONG decimation, frameBytes;
    };
    const Case cases[] = {
        {2048, -1536, 24, 1536, 6.0, 1, 9437184}, {2048, 1536, 32, 1536, 6.0, 1, 12582912},
        {1024, -768, 32, 768, 18.0, 2, 3145728},  {512, -384, 24, 384, 30.0, 4, 589824},
        {640, 480, 24, 480, 30.0, 4, 921600},
    };
    TestCamera camera;
    for (const Case& c : cases) {
        camera.ConfigureGeometry(c.width, c.height, c.bits);
        const FrameGeometry& geometry = camera.Geometry();
        EXPECT_EQ(geometry.width, c.width) << c.width;
        EXPECT_EQ(geometry.height, c.expectedHeight) << c.width;
        EXPECT_EQ(geometry.bitsPerPixel, c.bits) << c.width;
        EXPECT_EQ(geometry.frameRate, c.rate) << c.width;
        EXPECT_EQ(geometry.decimation, c.decimation) << c.width;
        EXPECT_EQ(geometry.frameBytes, c.frameBytes) << c.width;
    }
}

TEST(TestCamera, StampsFramesTenMillisecondsApartFromTen)
{
    TestCamera camera;
    camera.ConfigureGeometry(1, 1, 8);
    BYTE pixel = 0;
    LONGLONG stamps[3] = {};
    LONG durations[3] = {};
    EXPECT_TRUE(camera.CaptureFrame(&pixel, &stamps[0], &durations[0]));
    EXPECT_TRUE(camera.CaptureFrame(&pixel, &stamps[1], &durations[1]));
    // A new layout is no new stream: the clock runs on.
    camera.ConfigureGeometry(2, 1, 8);
    BYTE pixels[2] = {};
    EXPECT_TRUE(camera.CaptureFrame(pixels, &stamps[2], &durations[2]));
    EXPECT_EQ(stamps[0], 10);
    EXPECT_EQ(stamps[1], 20);
    EXPECT_EQ(stamps[2], 30);
    EXPECT_EQ(camera.FrameClock(), 30);
    for (LONG duration : durations)
        EXPECT_EQ(duration, 1);
}

TEST(TestCamera, FillsFramesFromTheRuntimeGeneratorSkippingOneValueBetweenFrames)
{
    TestCamera camera;
    camera.ConfigureGeometry(512, -384, 24);
    const size_t frameBytes = size_t(camera.Geometry().frameBytes);
    // Guard bytes after each frame show that nothing is written past frameBytes.
    std::vector<BYTE> first(frameBytes + 16, 0xA5);
    std::vector<BYTE> second(frameBytes + 16, 0xA5);
    // Running the camera and the reference draws on new threads of their own gives both
    // the same sequence.
    ASSERT_TRUE(RunOnNewThread([&] {
        LONGLONG stamp = 0;
        LONG duration = 0;
        camera.CaptureFrame(first.data(), &stamp, &duration);
        camera.CaptureFrame(second.data(), &stamp, &duration);
    }));

    std::vector<int> draws;
    ASSERT_TRUE(RunOnNewThread([&] {
        for (size_t i = 0; i < 2 * (frameBytes + 1); ++i)
            draws.push_back(rand());
    }));
    std::vector<BYTE> expectedFirst(frameBytes + 16, 0xA5);
    std::vector<BYTE> expectedSecond(frameBytes + 16, 0xA5);
    for (size_t i = 0; i < frameBytes; ++i) {
        expectedFirst[i] = NoiseByte(draws[i]);
        expectedSecond[i] = NoiseByte(draws[frameBytes + 1 + i]);
    }
    EXPECT_TRUE(first == expectedFirst);
    EXPECT_TRUE(second == expectedSecond);
    EXPECT_FALSE(first == second);
}

TEST(TestCamera, StoresTheLowByteOfTheGeneratorValueShiftedBySix)
{
    struct Case
    {
        int generatorValue;
        BYTE expected;
    };
    const Case cases[] = {{32767, 0xFF}, {16384, 0x00}, {16448, 0x01}, {63, 0x00}, {64, 0x01}};
    for (const Case& c : cases) {
        const unsigned seed = SeedBefore(c.generatorValue);
        int drawn = -1;
        BYTE pixel = 0x5A;
        ASSERT_TRUE(RunOnNewThread([&] {
            srand(seed);
            drawn = rand();
            srand(seed);
            TestCamera camera;
            camera.ConfigureGeometry(1, 1, 8);
            LONGLONG stamp = 0;
            LONG duration = 0;
            camera.CaptureFrame(&pixel, &stamp, &duration);
        }));
        ASSERT_EQ(drawn, c.generatorValue) << "the runtime's generator is not the one assumed";
        EXPECT_EQ(pixel, c.expected) << c.generatorValue;
    }
}

TEST(TestCamera, EnumeratesAtMostFourCamerasWithinTheCapacity)
{
    CameraEntry entries[10];
    std::memset(entries, 0x5A, sizeof(entries));
    ASSERT_EQ(EnumerateCameras(entries, 10), 4u);
    const char* names[] = {"Test camera 1", "Test camera 2", "Test camera 3", "Test camera 4"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].number, i + 1);
        EXPECT_STREQ(entries[i].name, names[i]);
    }
    EXPECT_EQ(entries[4].number, 0x5A5A5A5A);

    std::memset(entries, 0x5A, sizeof(entries));
    EXPECT_EQ(EnumerateCameras(entries, 2), 2u);
    EXPECT_STREQ(entries[1].name, "Test camera 2");
    EXPECT_EQ(entries[2].number, 0x5A5A5A5A);

    std::memset(entries, 0x5A, sizeof(entries));
    EXPECT_EQ(EnumerateCameras(entries, 0), 0u);
    EXPECT_EQ(entries[0].number, 0x5A5A5A5A);
}

}    // namespace
