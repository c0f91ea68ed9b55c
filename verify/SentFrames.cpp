#include "SentFrames.h"

#include "FrameVerifier.h"

bool SentFrames::FirstFrom(uint64_t number, SentFrame* sent, FrameFate* end) const
{
    if (end)
        *end = FrameFate{};
    // A host cannot be told apart from a camera that drops this many frames in a row: the
    // verifier finds no frame farther from the one expected.
    for (uint64_t candidate = number; candidate - number <= FrameSearchBound; ++candidate) {
        const FrameFate fate = scenario.FateOf(LONGLONG(candidate));
        if (fate.end != StreamEnd::None) {
            if (end)
                *end = fate;
            return false;
        }
        if (fate.delivered) {
            *sent = SentFrame{candidate, false};
            return true;
        }
    }
    return false;
}

bool SentFrames::First(SentFrame* first, FrameFate* end) const
{
    return FirstFrom(0, first, end);
}

bool SentFrames::Next(const SentFrame& frame, SentFrame* next, FrameFate* end) const
{
    if (!frame.copy && scenario.FateOf(LONGLONG(frame.number)).repeated) {
        *next = SentFrame{frame.number, true};
        return true;
    }
    return FirstFrom(frame.number + 1, next, end);
}

bool SentFrames::Sends(uint64_t number) const
{
    return scenario.FateOf(LONGLONG(number)).delivered;
}
