#pragma once
// Takes the frames the Sample Grabber passes on, on the device's streaming thread: keeps
// the first frame's bytes and, for every frame up to the number wanted, its time stamp
// and the moment it arrived; verifies each against the Orvix61 camera's stream when
// asked to. A long capture reports its progress as it goes.
#include "CaptureFigures.h"
#include "framework/Locks.h"
#include "framework/Ownership.h"
#include "verify/FrameVerifier.h"
#include "verify/VerificationReport.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Locking
//   lock: the records, the count, the first frame and the verification, shared by the
//   streaming thread and the tool's.
constexpr int longCaptureFrames = 30;

class FrameCollector : public ISampleGrabberCB
{
public:
    // `progress`, when given, gets a line after every tenth of a capture of
    // `longCaptureFrames` frames or more.
    FrameCollector(int wanted, FILE* progress);

    // The collector outlives the graph that calls it, so the grabber's references own
    // nothing.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double time, BYTE* buffer, long length) override;

    // From now on every frame up to the number wanted is verified as it arrives, on the
    // streaming thread: frames of `format` from the start of the camera's stream. A
    // `bottomUp` connection (a positive height) delivers the picture's bottom row first,
    // so the picture verified is the buffer's rows in reverse order. Frames are held
    // against `scenario` when one is given, which the report names with `origin`.
    void VerifyFrames(const FrameFormat& format, bool bottomUp, const FaultScenario* scenario,
                      const std::string& origin);
    // Ends the capture: frames that come from now on, as a stopping graph may still deliver
    // them, are not taken, so that what is reported is what had come when it ended.
    void EndCapture();
    // Adds a part of the capture that verification could not cover, named in the report.
    void AddUnverified(const std::string& what);
    // The capture stopped before the frames wanted came, `why` saying how. Unless the stream
    // stopped as the scenario verified against ends it (`end`, an abort with `abortResult`)
    // right after the last frame the camera sends, the camera would have sent more: the
    // report names what came after the stop as not verified and never calls it complete.
    void StoppedEarly(const std::string& why, StreamEnd end, HRESULT abortResult);

    // Signalled once the number wanted has arrived.
    HANDLE Done() const { return done.Get(); }
    int Count();
    std::vector<FrameRecord> Frames();
    std::vector<BYTE> FirstFrame();
    // What verification found; nothing when frames were not verified.
    void PrintVerification(FILE* out);
    bool VerifiedExactAndConsecutive();

private:
    void Verify(IMediaSample* sample);

    CriticalSection lock;
    const int wanted;
    const int progressStep;    // 0: no progress lines
    FILE* const progress;
    std::vector<FrameRecord> frames;
    std::vector<BYTE> firstFrame;
    std::unique_ptr<FrameVerifier> verifier;    // null: frames are not verified
    std::unique_ptr<VerificationReport> report;
    bool bottomUp = false;
    std::vector<BYTE> picture;    // a bottom-up frame turned top-down, made ready beforehand
    std::string unverified;
    bool ended = false;
    // Frames the verification lost for want of memory; they count as not exact.
    int unverifiedFrames = 0;
    UniqueHandle done;
};
