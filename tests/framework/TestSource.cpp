#include "TestSource.h"

#include <cstring>
#include <new>

void FillTestType(CMediaTypeRecord* type, WORD bitCount)
{
    type->AssignMajorType(MEDIATYPE_Video);
    type->AssignSubtype(bitCount == 32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24);
    type->AssignFormatType(FORMAT_VideoInfo);
    auto* info =
        reinterpret_cast<VIDEOINFOHEADER*>(type->ReserveFormatBlock(sizeof(VIDEOINFOHEADER)));
    std::memset(info, 0, sizeof(*info));
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = TestFrameWidth;
    info->bmiHeader.biHeight = -TestFrameHeight;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = bitCount;
    info->bmiHeader.biSizeImage = DWORD(BitmapImageSize(info->bmiHeader));
    info->AvgTimePerFrame = 100000;
    type->AssignSampleSize(info->bmiHeader.biSizeImage);
}

CTestStream::CTestStream(HRESULT* result, CSource* filter, CallLog* log)
    : CSourceStream(result, filter, L"Test Pin"), log(log)
{
}

HRESULT CTestStream::FillSample(IMediaSample* sample)
{
    if (fillGate && fillGate->Pass())
        LogCall(log, "source.FillSample let go");
    const LONG number = InterlockedIncrement(&samplesFilled);
    if (number > failAfter && fillResult != S_OK)
        return fillResult;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    std::memset(buffer, BYTE(number), size_t(sample->GetSize()));
    REFERENCE_TIME start = number * 100000LL;
    REFERENCE_TIME stop = start + 10000;
    sample->SetTime(&start, &stop);
    return S_OK;
}

HRESULT CTestStream::OnWorkerCreate()
{
    InterlockedIncrement(&createCalls);
    return createResult;
}

HRESULT CTestStream::OnWorkerDestroy()
{
    LogCall(log, "source.OnWorkerDestroy");
    InterlockedIncrement(&destroyCalls);
    return S_OK;
}

HRESULT CTestStream::OnWorkerStartPlay()
{
    InterlockedIncrement(&startPlayCalls);
    return S_OK;
}

HRESULT CTestStream::DefaultMediaType(CMediaTypeRecord* type)
{
    FillTestType(type);
    return S_OK;
}

HRESULT CTestStream::ChooseBufferSize(IMemAllocator* candidate, ALLOCATOR_PROPERTIES* request)
{
    LogCall(log, "source.ChooseBufferSize");
    lastRequest = *request;
    lastSizedAllocator = candidate;
    request->cBuffers = bufferCount;
    request->cbBuffer = TestFrameBytes;
    ALLOCATOR_PROPERTIES granted = {};
    const HRESULT hr = candidate->SetProperties(request, &granted);
    if (FAILED(hr))
        return hr;
    return granted.cbBuffer < TestFrameBytes ? E_FAIL : hr;
}

HRESULT CTestStream::AcceptsMediaType(const AM_MEDIA_TYPE* type)
{
    LogCall(log, "source.AcceptsMediaType");
    return CSourceStream::AcceptsMediaType(type);
}

HRESULT CTestStream::SetConnectionType(const AM_MEDIA_TYPE* type)
{
    LogCall(log, "source.SetConnectionType");
    return CSourceStream::SetConnectionType(type);
}

HRESULT CTestStream::CreateDefaultAllocator(IMemAllocator** created)
{
    if (!platformAllocator)
        return CSourceStream::CreateDefaultAllocator(created);
    *created = ComPtr<IMemAllocator>(platformAllocator).Detach();
    return S_OK;
}

CTestSource::CTestSource(HRESULT* result, CallLog* log) : CSource(nullptr, CLSID_TestSource)
{
    ScopedLock hold(stateLock);
    stream = new (std::nothrow) CTestStream(result, this, log);
    if (!stream && result)
        *result = E_OUTOFMEMORY;
}

ComPtr<IBaseFilter> MakeTestSource(CTestSource** source, CallLog* log)
{
    HRESULT hr = S_OK;
    auto* made = new CTestSource(&hr, log);
    *source = made;
    return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(made));
}
