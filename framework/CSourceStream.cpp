#include "CSourceStream.h"

#include "CSource.h"
#include "Result.h"

#include <cstdio>

CSourceStream::CSourceStream(HRESULT* result, CSource* filter, const wchar_t* pinName)
    : CBaseOutputPin(filter, &filter->stateLock, pinName), sourceFilter(filter),
      pauseEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    HRESULT hr = filter->AddStream(this);
    if (SUCCEEDED(hr) && (!HasEvents() || !pauseEvent.IsValid()))
        hr = E_OUTOFMEMORY;
    if (result && FAILED(hr))
        *result = hr;
}

CSourceStream::~CSourceStream()
{
    sourceFilter->RemoveStream(this);
}

void CSourceStream::StopWorker()
{
    if (HasWorker()) {
        if (allocator)
            allocator->Decommit();
        SendCommand(CommandStop);
        SendCommand(CommandExit);
    }
    JoinWorker();
}

HRESULT CSourceStream::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    *id = nullptr;
    const int index = sourceFilter->StreamIndexOf(static_cast<IPin*>(this));
    if (index < 0)
        return VFW_E_NOT_FOUND;
    char text[32];
    std::snprintf(text, sizeof(text), "%d", index + 1);
    // Room for any position an int can hold, not just three digits.
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    CoTaskMemPtr<wchar_t> wide = CoTaskMemPtr<wchar_t>::Allocate(length * sizeof(wchar_t));
    if (!wide)
        return E_OUTOFMEMORY;
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.Get(), length);
    *id = wide.Detach();
    return S_OK;
}

HRESULT CSourceStream::Activate()
{
    ScopedLock hold(sourceFilter->stateLock);
    if (sourceFilter->IsActive())
        return S_FALSE;
    if (!IsConnected())
        return S_OK;
    RETURN_IF_FAILED(CBaseOutputPin::Activate());
    if (!StartWorker())
        return E_FAIL;
    RETURN_IF_FAILED(SendCommand(CommandInit));
    return SendCommand(CommandPause);
}

HRESULT CSourceStream::Deactivate()
{
    ScopedLock hold(sourceFilter->stateLock);
    if (!IsConnected())
        return S_OK;
    // The worker stops even when the allocator will not decommit: a filter that reports
    // itself stopped must deliver nothing more, and must be able to start again.
    const HRESULT decommitted = CBaseOutputPin::Deactivate();
    if (HasWorker()) {
        RETURN_IF_FAILED(SendCommand(CommandStop));
        RETURN_IF_FAILED(SendCommand(CommandExit));
        JoinWorker();
    }
    return FAILED(decommitted) ? decommitted : S_OK;
}

HRESULT CSourceStream::ListMediaType(int position, CMediaTypeRecord* type)
{
    ScopedLock hold(sourceFilter->stateLock);
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return DefaultMediaType(type);
}

HRESULT CSourceStream::AcceptsMediaType(const AM_MEDIA_TYPE* type)
{
    ScopedLock hold(sourceFilter->stateLock);
    CMediaTypeRecord offered;
    DefaultMediaType(&offered);
    return offered.Equals(*type) ? S_OK : E_FAIL;
}

void CSourceStream::OnPause()
{
    SetEvent(pauseEvent.Get());
}

bool CSourceStream::WaitBetweenFrames(DWORD timeoutMs, bool pauseEnds)
{
    // Only a pause that comes during the wait ends it.
    if (pauseEnds)
        ResetEvent(pauseEvent.Get());
    return WaitForCommand(timeoutMs, pauseEnds ? pauseEvent.Get() : nullptr);
}

HRESULT CSourceStream::OnWorkerCreate()
{
    return S_OK;
}

HRESULT CSourceStream::OnWorkerDestroy()
{
    return S_OK;
}

HRESULT CSourceStream::OnWorkerStartPlay()
{
    return S_OK;
}

HRESULT CSourceStream::DefaultMediaType(CMediaTypeRecord*)
{
    return E_UNEXPECTED;
}

DWORD CSourceStream::WorkerMain()
{
    while (NextCommand() != CommandInit)
        CompleteCommand(E_UNEXPECTED);
    const HRESULT created = OnWorkerCreate();
    if (FAILED(created)) {
        OnWorkerDestroy();
        CompleteCommand(created);
        return 1;
    }
    CompleteCommand(S_OK);

    for (;;) {
        const int next = NextCommand();
        if (next == CommandPause || next == CommandRun) {
            CompleteCommand(S_OK);
            BufferLoop();
        } else if (next == CommandStop) {
            CompleteCommand(S_OK);
        } else if (next == CommandExit) {
            CompleteCommand(S_OK);
            break;
        } else {
            CompleteCommand(E_NOTIMPL);
        }
    }
    return FAILED(OnWorkerDestroy()) ? 1 : 0;
}

bool CSourceStream::HandlePendingCommand(int pending)
{
    if (pending == CommandStop)
        return false;    // left pending: WorkerMain completes it
    CompleteCommand(pending == CommandPause || pending == CommandRun ? S_OK : E_UNEXPECTED);
    return true;
}

HRESULT CSourceStream::BufferLoop()
{
    OnWorkerStartPlay();
    for (;;) {
        int pending = 0;
        if (PeekCommand(&pending)) {
            if (!HandlePendingCommand(pending))
                return S_FALSE;
            continue;
        }

        ComPtr<IMediaSample> sample;
        if (FAILED(GetFreeSample(sample.Put(), nullptr, nullptr, 0)) || !sample) {
            // Nothing free (or decommitted while stopping): look for a command, then
            // ask again.
            Sleep(1);
            continue;
        }

        const HRESULT filled = FillSample(sample.Get());
        if (filled == FillWithheld)
            continue;    // the sample goes back unused at the end of this round
        if (filled == S_OK) {
            const HRESULT delivered = DeliverSample(sample.Get());
            sample.Reset();
            if (delivered != S_OK)
                return S_OK;    // downstream refused: stop quietly
            continue;
        }
        sample.Reset();
        SendEndOfStream();
        if (filled == S_FALSE)
            return S_OK;
        sourceFilter->PostGraphEvent(EC_ERRORABORT, filled, 0);
        return filled;
    }
}
