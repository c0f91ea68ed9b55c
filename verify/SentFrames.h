#pragma once
// What the camera sends under a fault scenario, in order: every frame it delivers, the copy
// right after each frame it repeats, and nothing from the frame an end item names on. It is
// read from FaultScenario::FateOf alone, the rule the capture pin carries out, so the
// verifier and the camera cannot disagree about it.
#include "camera/FaultScenario.h"

#include <cstdint>

// One frame as the camera sends it: its number in the stream, and whether this is the copy
// a repeat sends right after the frame itself.
struct SentFrame
{
    uint64_t number = 0;
    bool copy = false;

    bool operator==(const SentFrame& other) const
    {
        return number == other.number && copy == other.copy;
    }
};

class SentFrames
{
public:
    // Every frame once, as made: the camera without a scenario.
    SentFrames() = default;
    explicit SentFrames(const FaultScenario& scenario) : scenario(scenario) {}

    const FaultScenario& Scenario() const { return scenario; }

    // The first frame the stream sends. False when the stream ends before any, or when the
    // scenario drops every frame as far as the search goes (FrameSearchBound frames).
    bool First(SentFrame* first) const;
    // The frame the camera sends after `frame`; false as for First.
    bool Next(const SentFrame& frame, SentFrame* next) const;
    // The first frame delivered from `number` on; false as for First.
    bool FirstFrom(uint64_t number, SentFrame* sent) const;
    // Whether the camera ever sends frame `number`.
    bool Sends(uint64_t number) const;

private:
    FaultScenario scenario;
};
