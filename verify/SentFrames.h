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
    // scenario drops every frame as far as the search goes (FrameSearchBound frames); then
    // `end`, when given, gets the fate of the frame the stream ends at, or one that ends
    // nothing when the search gave up.
    bool First(SentFrame* first, FrameFate* end = nullptr) const;
    // The frame the camera sends after `frame`; false, with `end`, as for First.
    bool Next(const SentFrame& frame, SentFrame* next, FrameFate* end = nullptr) const;
    // The first frame delivered from `number` on; false, with `end`, as for First.
    bool FirstFrom(uint64_t number, SentFrame* sent, FrameFate* end = nullptr) const;
    // Whether the camera ever sends frame `number`.
    bool Sends(uint64_t number) const;

private:
    FaultScenario scenario;
};
