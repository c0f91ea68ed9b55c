// Frames of a streaming camera, made from the model of rand(), held byte for byte against
// one rand() call per byte on a new thread, the way a capture pin's worker makes them,
// and against whatever else draws from the generator on that thread.
#include "NewThread.h"
#include "camera/NoiseGenerator.h"
#include "camera/TestCamera.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

namespace {

struct Layout
{
    LONG width, height, bits;
};
const Layout CatalogueLayouts[] = {
    {2048, -1536, 32}, {1024, -768, 32}, {512, -384, 32},
    {2048, -1536, 24}, {1024, -768, 24}, {512, -384, 24},
};

size_t BytesOf(const Layout& layout)
{
    const LONG rows = layout.height < 0 ? -layout.height : layout.height;
    return size_t(layout.width) * size_t(rows) * size_t(layout.bits) / 8;
}

// Runs on the streaming thread after frame `frame`: another user of rand() there.
using BetweenFrames = std::function<void(size_t frame)>;
using BeforeStream = std::function<void()>;

struct Stream
{
    std::vector<std::vector<BYTE>> frames;
    std::vector<bool> fromModel;     // the camera's, after each frame
    std::vector<int> valuesAfter;    // what rand() gives on the thread after the last frame
};

constexpr int valuesAfterCount = 16;

// The camera streaming on a new thread: OnStreamStart, then one frame per layout.
Stream CaptureOnNewThread(TestCamera& camera, const std::vector<Layout>& layouts,
                          const BetweenFrames& between = {}, const BeforeStream& before = {})
{
    Stream stream;
    EXPECT_TRUE(RunOnNewThread([&] {
        if (before)
            before();
        camera.OnStreamStart();
        for (size_t frame = 0; frame < layouts.size(); ++frame) {
            camera.ConfigureGeometry(layouts[frame].width, layouts[frame].height,
                                     layouts[frame].bits);
            std::vector<BYTE> bytes(BytesOf(layouts[frame]));
            LONGLONG stampMs = 0;
            LONG durationMs = 0;
            camera.CaptureFrame(bytes.data(), &stampMs, &durationMs);
            stream.frames.push_back(std::move(bytes));
            stream.fromModel.push_back(camera.NoiseFromModel());
            if (between)
                between(frame);
        }
        for (int i = 0; i < valuesAfterCount; ++i)
            stream.valuesAfter.push_back(rand());
    }));
    return stream;
}

// The same on a new thread with one rand() call per byte and one more per frame.
Stream DrawOnNewThread(const std::vector<Layout>& layouts, const BetweenFrames& between = {},
                       const BeforeStream& before = {})
{
    Stream stream;
    EXPECT_TRUE(RunOnNewThread([&] {
        if (before)
            before();
        for (size_t frame = 0; frame < layouts.size(); ++frame) {
            std::vector<BYTE> bytes(BytesOf(layouts[frame]));
            for (BYTE& byte : bytes)
                byte = NoiseByte(rand());
            rand();
            stream.frames.push_back(std::move(bytes));
            if (between)
                between(frame);
        }
        for (int i = 0; i < valuesAfterCount; ++i)
            stream.valuesAfter.push_back(rand());
    }));
    return stream;
}

void ExpectSameNoise(const Stream& made, const Stream& drawn)
{
    ASSERT_EQ(made.frames.size(), drawn.frames.size());
    for (size_t frame = 0; frame < made.frames.size(); ++frame)
        EXPECT_TRUE(made.frames[frame] == drawn.frames[frame]) << "frame " << frame;
    EXPECT_EQ(made.valuesAfter, drawn.valuesAfter) << "the thread's generator was left elsewhere";
}

TEST(CameraNoise, EveryCatalogueFormatComesFromTheModelAsRandPerByteWouldMakeIt)
{
    for (const Layout& layout : CatalogueLayouts) {
        SCOPED_TRACE(testing::Message()
                     << layout.width << "x" << layout.height << "x" << layout.bits);
        const std::vector<Layout> layouts(3, layout);
        TestCamera camera;
        const Stream made = CaptureOnNewThread(camera, layouts);
        ExpectSameNoise(made, DrawOnNewThread(layouts));
        EXPECT_EQ(made.fromModel, std::vector<bool>(3, true));
    }
}

TEST(CameraNoise, EachNewStreamingThreadStartsTheNoiseAgain)
{
    const std::vector<Layout> layouts(3, Layout{512, -384, 24});
    const Stream drawn = DrawOnNewThread(layouts);
    TestCamera camera;
    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE(start);
        const Stream made = CaptureOnNewThread(camera, layouts);
        ExpectSameNoise(made, drawn);
        EXPECT_EQ(made.fromModel, std::vector<bool>(3, true));
    }
    EXPECT_EQ(camera.FrameClock(), 90);
}

TEST(CameraNoise, ADrawBetweenFramesSendsTheRestOfTheStreamBackToRandPerByte)
{
    const std::vector<Layout> layouts(4, Layout{1024, -768, 24});
    const BetweenFrames between = [](size_t frame) {
        if (frame == 0)
            rand();
        if (frame == 1)
            srand(0xC0FFEEu);
    };
    TestCamera camera;
    const Stream made = CaptureOnNewThread(camera, layouts, between);
    ExpectSameNoise(made, DrawOnNewThread(layouts, between));
    EXPECT_EQ(made.fromModel, (std::vector<bool>{true, false, false, false}));

    // The next stream runs on a new thread, and the model serves again.
    const Stream restarted = CaptureOnNewThread(camera, layouts);
    ExpectSameNoise(restarted, DrawOnNewThread(layouts));
    EXPECT_EQ(restarted.fromModel, std::vector<bool>(4, true));
}

TEST(CameraNoise, AThreadThatDrewBeforeTheStreamGetsRandPerByte)
{
    const std::vector<Layout> layouts(2, Layout{512, -384, 32});
    const BeforeStream before = [] {
        for (int i = 0; i < 5; ++i)
            rand();
    };
    TestCamera camera;
    const Stream made = CaptureOnNewThread(camera, layouts, {}, before);
    ExpectSameNoise(made, DrawOnNewThread(layouts, {}, before));
    EXPECT_EQ(made.fromModel, std::vector<bool>(2, false));
}

TEST(CameraNoise, ASeedThatOnlyTheLaterValuesBetrayIsCaught)
{
    const Layout layout{512, -384, 24};
    const std::vector<Layout> layouts(3, layout);
    // Where the thread's generator is after the first frame, and a state beside it whose
    // next value is the same but whose value after that is not.
    const uint32_t afterFirst = AdvanceGenerator(GeneratorDefaultSeed, BytesOf(layout) + 1);
    uint32_t impostor = afterFirst;
    for (uint32_t nudge = 1; impostor == afterFirst; ++nudge) {
        const uint32_t candidate = afterFirst + nudge;
        const bool firstAgrees =
            GeneratorValue(GeneratorStep(candidate)) == GeneratorValue(GeneratorStep(afterFirst));
        const bool secondAgrees = GeneratorValue(GeneratorStep(GeneratorStep(candidate)))
                                  == GeneratorValue(GeneratorStep(GeneratorStep(afterFirst)));
        if (firstAgrees && !secondAgrees)
            impostor = candidate;
    }
    const BetweenFrames between = [&](size_t frame) {
        if (frame == 0)
            srand(impostor);
    };
    TestCamera camera;
    const Stream made = CaptureOnNewThread(camera, layouts, between);
    ExpectSameNoise(made, DrawOnNewThread(layouts, between));
    EXPECT_EQ(made.fromModel, (std::vector<bool>{true, false, false}));

    // A seed that differs only in bit 31 changes no value ever, so the camera may go on
    // from its model: nothing any user of rand() sees can differ.
    const BetweenFrames twin = [&](size_t frame) {
        if (frame == 0)
            srand(afterFirst ^ 0x80000000u);
    };
    const Stream unchanged = CaptureOnNewThread(camera, layouts, twin);
    ExpectSameNoise(unchanged, DrawOnNewThread(layouts, twin));
    EXPECT_EQ(unchanged.fromModel, std::vector<bool>(3, true));
}

TEST(CameraNoise, FramesTooShortToConfirmTheModelStayInStepWithRand)
{
    const std::vector<Layout> layouts = {
        {1, 1, 8},       {2, 1, 8}, {3, 1, 8}, {4, 1, 8},
        {512, -384, 24}, {1, 1, 8}, {0, 1, 8}, {2048, -1536, 32},
    };
    TestCamera camera;
    const Stream made = CaptureOnNewThread(camera, layouts);
    ExpectSameNoise(made, DrawOnNewThread(layouts));
    EXPECT_EQ(made.fromModel, std::vector<bool>(layouts.size(), true));
}

}    // namespace
