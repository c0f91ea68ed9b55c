#pragma once
// What the frames a host received amount to, in the order it received them: how many
// were exact, which frame numbers came first and last, which were dropped, repeated or
// came out of order, and what is wrong with each frame that is not exact.
#include "FrameVerifier.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Where a frame was read: a file, and for raw frames the byte offset of the frame in it.
// Frames of a live capture have neither.
struct FramePlace
{
    std::string source;
    bool hasOffset = false;
    uint64_t byteOffset = 0;
};

// Frames the stream skipped, `first` to `last`.
struct FrameRange
{
    uint64_t first;
    uint64_t last;
};

// Troubles listed one by one, and numbers listed per line of the summary; the rest are
// counted.
constexpr size_t ListedTroubles = 50;
constexpr size_t ListedNumbers = 20;

class VerificationReport
{
public:
    // A report `fromStreamStart` covers a capture that saw the stream begin, so frames
    // before the first one received count as dropped.
    explicit VerificationReport(bool fromStreamStart) : fromStreamStart(fromStreamStart) {}

    // The number the next frame should carry: one after the last frame recognised.
    uint64_t ExpectedNext() const { return expectedNext; }
    // Takes the verdict on the next frame received.
    void Add(const FrameMatch& match, const FramePlace& place);

    uint64_t Checked() const { return checked; }
    uint64_t ExactFrames() const { return exact; }
    // Frames in a row, up to the last one, that matched no frame of the stream.
    uint64_t UnmatchedInARow() const { return unmatchedInARow; }
    std::vector<FrameRange> Dropped() const;
    // Says that part of what the host received was not verified; `what` names it in the
    // summary ("1 input not read in full, named above"). The result then never calls the
    // capture complete, whatever the frames verified show.
    void SetUnverified(const std::string& what) { unverified = what; }
    // Nothing left unverified, at least one frame, every one exact, and each the one
    // after the one before.
    bool AllExactAndConsecutive() const;

    // The troubles listed, then the summary, each line after `indent`.
    void Print(FILE* out, const char* indent = "") const;

private:
    // The sequence of frame numbers is kept here and in Dropped() alone: the number each
    // frame should carry, and how the one it carries breaks the sequence.
    // TakeNumber records a recognised frame's number and says how it breaks the sequence,
    // if it does; TakeUnmatched records a frame that matched none.
    std::string TakeNumber(uint64_t number);
    void TakeUnmatched();
    // What the frames verified show, leaving aside what was not verified.
    bool FramesExactAndConsecutive() const;
    void Note(uint64_t position, const FramePlace& place, const std::string& description);

    const bool fromStreamStart;
    uint64_t expectedNext = 0;
    uint64_t checked = 0;
    uint64_t exact = 0;
    uint64_t changed = 0;      // recognised, with only named changes
    uint64_t differing = 0;    // recognised, with bytes that differ beyond those
    uint64_t unmatched = 0;
    uint64_t truncated = 0;
    uint64_t unmatchedInARow = 0;
    bool anyRecognised = false;
    uint64_t firstNumber = 0;
    uint64_t lastNumber = 0;
    uint64_t highestNumber = 0;
    std::map<uint64_t, uint64_t> received;    // first number of each run -> its last
    uint64_t repeatCount = 0;
    std::vector<uint64_t> repeats;    // the first ListedNumbers
    uint64_t outOfOrderCount = 0;
    std::vector<uint64_t> outOfOrder;    // the first ListedNumbers
    uint64_t troubleCount = 0;
    std::vector<std::string> troubles;    // the first ListedTroubles
    std::string unverified;               // empty while everything received was verified
};

// "12,582,912"
std::string GroupedDigits(uint64_t value);
// "1 frame", "2 frames": the count, grouped, and the word for it.
std::string CountText(uint64_t count, const char* one, const char* many);
