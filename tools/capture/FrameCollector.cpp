#include "FrameCollector.h"

FrameCollector::FrameCollector(int wanted, FILE* progress)
    : wanted(wanted), progressStep(progress && wanted >= longCaptureFrames ? wanted / 10 : 0),
      progress(progress), done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    frames.reserve(size_t(wanted));
}

HRESULT FrameCollector::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(iid, IID_ISampleGrabberCB) || IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT FrameCollector::SampleCB(double, IMediaSample* sample)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    ScopedLock hold(lock);
    if (int(frames.size()) >= wanted)
        return S_OK;
    FrameRecord record;
    record.arrivalTicks = now.QuadPart;
    record.hasTime = sample->GetTime(&record.start, &record.stop) == S_OK;
    if (frames.empty()) {
        BYTE* buffer = nullptr;
        const long length = sample->GetActualDataLength();
        if (SUCCEEDED(sample->GetPointer(&buffer)) && buffer && length > 0)
            firstFrame.assign(buffer, buffer + length);
    }
    frames.push_back(record);
    const int count = int(frames.size());
    if (count == wanted)
        SetEvent(done.Get());
    else if (progressStep && count % progressStep == 0)
        fprintf(progress, "  captured %d of %d frames\n", count, wanted);
    return S_OK;
}

HRESULT FrameCollector::BufferCB(double, BYTE*, long)
{
    return E_NOTIMPL;    // the grabber is asked for samples, never for buffers
}

int FrameCollector::Count()
{
    ScopedLock hold(lock);
    return int(frames.size());
}

std::vector<FrameRecord> FrameCollector::Frames()
{
    ScopedLock hold(lock);
    return frames;
}

std::vector<BYTE> FrameCollector::FirstFrame()
{
    ScopedLock hold(lock);
    return firstFrame;
}
