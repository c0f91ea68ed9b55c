#pragma once
// What the frames a host received amount to, in the order it received them: how many
// were exact, which frame numbers came first and last, which were dropped, repeated or
// came out of order, and what is wrong with each frame that is not exact. Held against a
// fault scenario, it tells what the camera did on purpose (the frames it dropped, repeated
// and changed) from what the host lost, repeated, reordered or changed.
#include "FrameVerifier.h"
#include "SentFrames.h"

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
    explicit VerificationReport(bool fromStreamStart);
    // A report on frames captured under `scenario` (none when it is empty), which the
    // summary names, with `origin` after it when given ("stored for device 1").
    VerificationReport(bool fromStreamStart, const FaultScenario& scenario,
                       const std::string& origin = "");

    // The number the next frame should carry: the one the camera sends after the last
    // frame recognised (without a scenario, one after it).
    uint64_t ExpectedNext() const { return expected.number; }
    // Whether the scenario changes frame `number` as `corrupt` does.
    bool ScenarioCorrupts(uint64_t number) const;
    // Takes the verdict on the next frame received. `changedAsCorruptSays` tells, for a
    // frame the scenario corrupts, that its bytes differ exactly as the camera changes them
    // (ChangedAsCorruptSays); it is ignored for every other frame.
    void Add(const FrameMatch& match, const FramePlace& place, bool changedAsCorruptSays = false);

    uint64_t Checked() const { return checked; }
    uint64_t ExactFrames() const { return exact; }
    // Frames in a row, up to the last one, that matched no frame of the stream.
    uint64_t UnmatchedInARow() const { return unmatchedInARow; }
    // Every frame number that never came, the camera's drops among them.
    std::vector<FrameRange> Dropped() const;
    // The same numbers split into those the scenario drops (or that come after its end) and
    // the rest, which the host lost. Without a scenario every one is the host's.
    void SplitDropped(std::vector<FrameRange>* byCamera, std::vector<FrameRange>* byHost) const;
    // Says that part of what the host received was not verified; `what` names it in the
    // summary ("1 input not read in full, named above"). The result then never calls the
    // capture complete, whatever the frames verified show.
    void SetUnverified(const std::string& what) { unverified = what; }
    // Whether a stream that stopped with `end` (an abort with `abortResult`) after the frames
    // received stopped as the scenario ends it, right after the last frame the camera sends:
    // then the host missed nothing the camera sent after them. Never without a scenario that
    // ends the stream, nor for StreamEnd::None (a stall, or an end no scenario gives).
    bool EndedAsTheScenarioSays(StreamEnd end, HRESULT abortResult) const;
    // Nothing left unverified, at least one frame, every one exact, and each the one
    // after the one before. Under a scenario: the host received exactly what the camera
    // sent, its drops, repeats and changes included, and nothing the camera does not send.
    bool AllExactAndConsecutive() const;

    // The troubles listed, then the summary, each line after `indent`.
    void Print(FILE* out, const char* indent = "") const;

private:
    // The sequence of frame numbers is kept here and in Dropped() alone: the number each
    // frame should carry, and how the one it carries breaks the sequence.
    // TakeNumber records a recognised frame's number and says how it breaks the sequence
    // the camera sends, if it does; TakeUnmatched records a frame that matched none.
    std::string TakeNumber(uint64_t number);
    void TakeUnmatched();
    // The frame the camera sends after `frame` becomes the one expected.
    void ExpectAfter(const SentFrame& frame);
    // What is wrong with a recognised frame's bytes, counted; empty when nothing is.
    std::string TakeChanges(const FrameMatch& match, bool changedAsCorruptSays);
    // What the frames verified show, leaving aside what was not verified.
    bool FramesExactAndConsecutive() const;
    uint64_t HostDropCount() const;
    void Note(uint64_t position, const FramePlace& place, const std::string& description);
    void PrintScenarioSummary(FILE* out, const char* indent) const;

    const bool fromStreamStart;
    // What the camera sends; every frame once without a scenario.
    const SentFrames sent;
    const bool scenarioGiven;
    const bool faultless;    // no scenario, or an empty one
    const std::string scenarioLine;
    SentFrame expected;
    // How the stream ends right after the last frame taken; StreamEnd::None while the camera
    // sends more.
    FrameFate endAfterLast;
    uint64_t checked = 0;
    uint64_t exact = 0;
    uint64_t changed = 0;      // recognised, with only named changes (the host's)
    uint64_t differing = 0;    // recognised, with bytes that differ beyond those
    // Frames whose only change is the one the scenario makes.
    uint64_t cameraChangeCount = 0;
    std::vector<uint64_t> cameraChanges;    // the first ListedNumbers
    uint64_t hostChangeCount = 0;           // frames the host changed, named or not
    std::vector<uint64_t> hostChanges;      // the first ListedNumbers
    uint64_t unmatched = 0;
    uint64_t truncated = 0;
    uint64_t unmatchedInARow = 0;
    bool anyRecognised = false;
    uint64_t firstNumber = 0;
    uint64_t lastNumber = 0;
    uint64_t highestNumber = 0;
    std::map<uint64_t, uint64_t> received;    // first number of each run -> its last
    uint64_t repeatCount = 0;                 // repeats the camera did not send
    std::vector<uint64_t> repeats;            // the first ListedNumbers
    uint64_t cameraRepeatCount = 0;
    std::vector<uint64_t> cameraRepeats;    // the first ListedNumbers
    // Frames whose repeat the camera sent right after them, when another frame came instead.
    uint64_t lostCopyCount = 0;
    std::vector<uint64_t> lostCopies;    // the first ListedNumbers
    // Frames the camera does not send under the scenario: one it drops, one after its end,
    // one it corrupts that came whole.
    uint64_t notSentCount = 0;
    std::vector<uint64_t> notSent;    // the first ListedNumbers
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

// Verifies one captured frame (`bytes` bytes, as the verifier takes them) and adds it to the
// report: its number, searched for from the one the report expects, its bytes, and for a
// frame the report's scenario corrupts, whether they differ just as the camera changes them.
void VerifyNextFrame(FrameVerifier& verifier, VerificationReport& report, const BYTE* frame,
                     size_t bytes, const FramePlace& place);
