#include "FrameCollector.h"

#include <new>

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
    if (verifier)
        Verify(sample);
    frames.push_back(record);
    const int count = int(frames.size());
    if (count == wanted)
        SetEvent(done.Get());
    else if (progressStep && count % progressStep == 0)
        fprintf(progress, "  captured %d of %d frames\n", count, wanted);
    return S_OK;
}

void FrameCollector::Verify(IMediaSample* sample)
{
    BYTE* buffer = nullptr;
    const long length = sample->GetActualDataLength();
    const size_t bytes =
        SUCCEEDED(sample->GetPointer(&buffer)) && buffer && length > 0 ? size_t(length) : 0;
    // The report grows with each frame that is not exact; running out of memory must not
    // throw through the grabber's call.
    try {
        report->Add(verifier->Verify(buffer, bytes, report->ExpectedNext()), FramePlace{});
    } catch (const std::bad_alloc&) {
        ++unverifiedFrames;
    }
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

void FrameCollector::VerifyFrames(const FrameFormat& format)
{
    ScopedLock hold(lock);
    verifier = std::make_unique<FrameVerifier>(format, format.pixelBytes);
    report = std::make_unique<VerificationReport>(true);
}

void FrameCollector::PrintVerification(FILE* out)
{
    ScopedLock hold(lock);
    if (!report)
        return;
    // Told only now: the streaming thread may not allocate the text where memory ran out.
    if (unverifiedFrames)
        report->SetUnverified(CountText(uint64_t(unverifiedFrames), "frame", "frames")
                              + ", for want of memory");
    report->Print(out, "  ");
}

bool FrameCollector::VerifiedExactAndConsecutive()
{
    ScopedLock hold(lock);
    return report && report->AllExactAndConsecutive() && !unverifiedFrames;
}
