#include "FrameCollector.h"

#include <cstring>
#include <new>

namespace {

// "a; b": the parts of a capture not verified, in the order they were found.
void AddPart(std::string* parts, const std::string& part)
{
    *parts += (parts->empty() ? "" : "; ") + part;
}

}    // namespace

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
    if (ended || int(frames.size()) >= wanted)
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
    const BYTE* frame = buffer;
    const FrameFormat& format = verifier->Format();
    // A short bottom-up buffer lacks the top of the picture: it is verified as it came.
    if (bottomUp && bytes >= format.frameBytes) {
        for (LONG row = 0; row < format.height; ++row)
            memcpy(picture.data() + size_t(row) * format.rowBytes,
                   buffer + size_t(format.height - 1 - row) * format.rowBytes, format.rowBytes);
        frame = picture.data();
    }
    // The report grows with each frame that is not exact; running out of memory must not
    // throw through the grabber's call.
    try {
        VerifyNextFrame(*verifier, *report, frame, bytes, FramePlace{});
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

void FrameCollector::VerifyFrames(const FrameFormat& format, bool rowsBottomUp,
                                  const FaultScenario* scenario, const std::string& origin)
{
    ScopedLock hold(lock);
    verifier = std::make_unique<FrameVerifier>(format, format.pixelBytes);
    report = scenario ? std::make_unique<VerificationReport>(true, *scenario, origin)
                      : std::make_unique<VerificationReport>(true);
    bottomUp = rowsBottomUp;
    picture.assign(rowsBottomUp ? format.frameBytes : 0, 0);
}

void FrameCollector::EndCapture()
{
    ScopedLock hold(lock);
    ended = true;
}

void FrameCollector::AddUnverified(const std::string& what)
{
    ScopedLock hold(lock);
    AddPart(&unverified, what);
}

void FrameCollector::StoppedEarly(const std::string& why, StreamEnd end, HRESULT abortResult)
{
    ScopedLock hold(lock);
    if (!report || report->EndedAsTheScenarioSays(end, abortResult))
        return;
    AddPart(&unverified,
            "the frames the camera would have sent after the capture stopped early, as " + why);
}

void FrameCollector::PrintVerification(FILE* out)
{
    ScopedLock hold(lock);
    if (!report)
        return;
    // Told only now: the streaming thread may not allocate the text where memory ran out.
    std::string what = unverified;
    if (unverifiedFrames)
        AddPart(&what,
                CountText(uint64_t(unverifiedFrames), "frame", "frames") + ", for want of memory");
    if (!what.empty())
        report->SetUnverified(what);
    report->Print(out, "  ");
}

bool FrameCollector::VerifiedExactAndConsecutive()
{
    ScopedLock hold(lock);
    return report && report->AllExactAndConsecutive() && !unverifiedFrames && unverified.empty();
}
