#pragma once
// An output pin that makes its own samples on a worker thread: while the filter is
// paused or running the worker takes a free sample, has the derived pin fill it,
// delivers it downstream, and looks for a new command between two samples.
#include "CAMThread.h"
#include "CBaseOutputPin.h"

class CSource;

// The commands of the worker thread.
enum StreamCommand
{
    CommandInit = 0,
    CommandPause = 1,
    CommandRun = 2,
    CommandStop = 3,
    CommandExit = 4,
};

// FillSample's answer when it has no frame for this sample (a wait it was in was ended
// by a command): the sample goes back unused, and the worker looks for a command.
constexpr HRESULT FillWithheld = 2;

// Locking
//   Activate and Deactivate run under the filter's stateLock (re-entered) and hold it
//   while they wait for the worker's answers. The worker never takes stateLock: its
//   loop, hooks and FillSample must not, or a stopping filter would wait for itself.
class CSourceStream : public CAMThread, public CBaseOutputPin
{
public:
    // Registers the stream with `filter`, which owns it from then on. Failures
    // (no events for the worker, no room in the filter's stream array) go to `result`.
    CSourceStream(HRESULT* result, CSource* filter, const wchar_t* pinName);
    // Takes the stream out of the filter's array. The filter has stopped the worker by then
    // (CSource's final release), so nothing of the stream is in use.
    ~CSourceStream() override;

    // IPin: the stream's 1-based position in its filter, as decimal text.
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;

    // Commits the allocator and starts the worker, then sends it init and pause.
    HRESULT Activate() override;
    // Decommits the allocator (freeing a worker waiting for a buffer), then stops and
    // ends the worker and waits for its thread; a failed decommit is reported after that.
    HRESULT Deactivate() override;

    // One type at position 0, DefaultMediaType's; S_OK only for exactly that type.
    HRESULT ListMediaType(int position, CMediaTypeRecord* type) override;
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;

    // Ends a worker that still runs, whatever the filter's state: decommits the allocator
    // (freeing a worker that waits for a buffer), then stops and ends the worker and waits
    // for its thread. The filter calls it for every stream when its last reference goes.
    void StopWorker();

protected:
    // S_OK: deliver the sample; S_FALSE: no more data, end the stream; FillWithheld: no
    // frame this time; else a failure.
    virtual HRESULT FillSample(IMediaSample* sample) = 0;
    virtual HRESULT OnWorkerCreate();
    virtual HRESULT OnWorkerDestroy();
    virtual HRESULT OnWorkerStartPlay();
    virtual HRESULT BufferLoop();
    virtual HRESULT DefaultMediaType(CMediaTypeRecord* type);

    DWORD WorkerMain() override;

    // Wakes a worker waiting in WaitBetweenFrames: the filter went from running to paused.
    void OnPause() override;
    // For the worker, between two frames: waits up to `timeoutMs`, or until a command
    // comes or, where `pauseEnds`, the filter pauses from running. True when the wait
    // was ended early.
    bool WaitBetweenFrames(DWORD timeoutMs, bool pauseEnds);

    CSource* const sourceFilter;    // no reference: the filter owns the stream

private:
    UniqueHandle pauseEvent;    // auto reset: set by OnPause

    // Handles a command seen between two samples; false when production must end.
    bool HandlePendingCommand(int pending);
};
