#pragma once
// A source filter of the tests' own on the framework: one stream offering a small RGB32
// type, whose fill, worker hooks and buffer sizing can be told to fail, and which logs
// the calls the framework makes on it.
#include "Gate.h"
#include "fakes/CallLog.h"
#include "framework/CSource.h"
#include "framework/CSourceStream.h"
#include "framework/MediaType.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

// {5B4A35E1-3D9B-4C0A-9F21-6C1E2D7A0B11}: used only by these tests
inline constexpr GUID CLSID_TestSource = {
    0x5B4A35E1, 0x3D9B, 0x4C0A, {0x9F, 0x21, 0x6C, 0x1E, 0x2D, 0x7A, 0x0B, 0x11}};

constexpr LONG TestFrameWidth = 64;
constexpr LONG TestFrameHeight = 48;
constexpr LONG TestFrameBytes = TestFrameWidth * TestFrameHeight * 4;

// Writes the tests' type: video, RGB32, VideoInfo, 64x48 top-down.
void FillTestType(CMediaTypeRecord* type, WORD bitCount = 32);

class CTestStream : public CSourceStream
{
public:
    CTestStream(HRESULT* result, CSource* filter, CallLog* log);

    // What the next calls answer; set before the worker runs.
    HRESULT fillResult = S_OK;    // from the sample numbered failAfter on
    LONG failAfter = 0;
    HRESULT createResult = S_OK;
    LONG bufferCount = 3;
    IMemAllocator* platformAllocator = nullptr;    // stands in for the platform's when set
    Gate* fillGate = nullptr;    // when armed, holds the next FillSample until opened

    // Observed by the tests.
    volatile LONG samplesFilled = 0;
    volatile LONG startPlayCalls = 0;
    volatile LONG createCalls = 0;
    volatile LONG destroyCalls = 0;
    ALLOCATOR_PROPERTIES lastRequest = {};
    IMemAllocator* lastSizedAllocator = nullptr;    // no reference, identity only

    using CSourceStream::SendCommand;

protected:
    HRESULT FillSample(IMediaSample* sample) override;
    HRESULT OnWorkerCreate() override;
    HRESULT OnWorkerDestroy() override;
    HRESULT OnWorkerStartPlay() override;
    HRESULT DefaultMediaType(CMediaTypeRecord* type) override;
    HRESULT ChooseBufferSize(IMemAllocator* candidate, ALLOCATOR_PROPERTIES* request) override;
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetConnectionType(const AM_MEDIA_TYPE* type) override;
    HRESULT CreateDefaultAllocator(IMemAllocator** created) override;

private:
    // Logs "source stream destroyed" when the stream's own members go, which is when
    // its derived part is gone. The stream adds nothing to its destructor: like any new
    // stream class, it leaves stopping the worker to the framework.
    struct DestructionProbe
    {
        CallLog* log;
        ~DestructionProbe() { LogCall(log, "source stream destroyed"); }
    };

    CallLog* log;
    DestructionProbe probe{log};
};

class CTestSource : public CSource
{
public:
    CTestSource(HRESULT* result, CallLog* log = nullptr);
    CTestStream* Stream() { return stream; }

    // Stands for a pin list that changed under an enumerator.
    LONG pinListVersion = 1;
    LONG PinListVersion() override { return pinListVersion; }

private:
    CTestStream* stream = nullptr;    // owned through the stream array
};

// A test source with one reference, as a host holds it.
ComPtr<IBaseFilter> MakeTestSource(CTestSource** source, CallLog* log = nullptr);
