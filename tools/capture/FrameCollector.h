#pragma once
// Takes the frames the Sample Grabber passes on, on the device's streaming thread: keeps
// the first frame's bytes and, for every frame up to the number wanted, its time stamp
// and the moment it arrived. A long capture reports its progress as it goes.
#include "CaptureFigures.h"
#include "framework/Locks.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <cstdio>
#include <vector>

// Locking
//   lock: the records and the count, shared by the streaming thread and the tool's.
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

    // Signalled once the number wanted has arrived.
    HANDLE Done() const { return done.Get(); }
    int Count();
    std::vector<FrameRecord> Frames();
    std::vector<BYTE> FirstFrame();

private:
    CriticalSection lock;
    const int wanted;
    const int progressStep;    // 0: no progress lines
    FILE* const progress;
    std::vector<FrameRecord> frames;
    std::vector<BYTE> firstFrame;
    UniqueHandle done;
};
