#include "FormatCatalogue.h"

#include <cstring>

static_assert(sizeof(VIDEOINFOHEADER) == 88, "a capability block is one VIDEOINFOHEADER");
static_assert(sizeof(VIDEOINFO) == ListedFormatBlockBytes, "listed blocks have VIDEOINFO's room");

namespace {

constexpr LONGLONG MinFrameInterval = 300000;
constexpr LONGLONG MaxFrameInterval = 2000000;
// Capabilities state every format's bit rate at 20 frames per second, not at its own rate.
constexpr LONG BitRateFramesPerSecond = 20;

constexpr bool BitRatesFitTheirField()
{
    for (const CaptureFormat& format : FormatCatalogue)
        if (LONGLONG(format.width) * format.height * format.bitCount * BitRateFramesPerSecond
            > MAXLONG)
            return false;
    return true;
}
static_assert(BitRatesFitTheirField(), "a capability's bit rate is a LONG");

const CaptureFormat& ResolvedFormat(FormatIndex index, FormatIndex preferredIndex)
{
    return CaptureFormatAt(index == PreferredFormatIndex ? preferredIndex : index);
}

void WriteBitmapHeader(const CaptureFormat& format, BITMAPINFOHEADER* header)
{
    header->biBitCount = format.bitCount;
    header->biCompression = BI_RGB;
    header->biWidth = format.width;
    header->biHeight = -format.height;
}

// The steps a listed type and a capability share: the bitmap header of the format, its
// image size, and empty source and target rectangles.
void CompleteVideoHeader(const CaptureFormat& format, VIDEOINFOHEADER* video)
{
    BITMAPINFOHEADER& header = video->bmiHeader;
    WriteBitmapHeader(format, &header);
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biPlanes = 1;
    header.biSizeImage = DWORD(BitmapImageSize(header));
    header.biClrImportant = 0;
    video->rcSource = RECT{};
    video->rcTarget = RECT{};
}

// The interval listed while the camera runs at `framesPerSecond`: a rate of the table
// lists its own; the camera runs at no other but UnlistedFramesPerSecond.
REFERENCE_TIME ListedFrameInterval(double framesPerSecond)
{
    for (const CaptureFormat& format : FormatCatalogue)
        if (format.framesPerSecond == framesPerSecond)
            return FrameIntervalAt(framesPerSecond);
    return FrameIntervalAt(UnlistedFramesPerSecond);
}

bool IsCatalogueSubtype(const GUID& subtype)
{
    for (const CaptureFormat& format : FormatCatalogue)
        if (IsEqualGUID(*format.subtype, subtype))
            return true;
    return false;
}

bool IsCatalogueFrameSize(LONG width, LONG height)
{
    // Either sign of height: bottom-up proposals are as good as our top-down ones.
    const LONGLONG rows = height < 0 ? -LONGLONG(height) : LONGLONG(height);
    for (const CaptureFormat& format : FormatCatalogue)
        if (format.width == width && format.height == rows)
            return true;
    return false;
}

}    // namespace

void FillBitmapHeader(FormatIndex index, FormatIndex preferredIndex, BITMAPINFOHEADER* header)
{
    WriteBitmapHeader(ResolvedFormat(index, preferredIndex), header);
}

HRESULT BuildListedMediaType(FormatIndex index, FormatIndex preferredIndex, double cameraFrameRate,
                             CMediaTypeRecord* type)
{
    if (!type)
        return E_POINTER;
    BYTE* block = type->ReserveFormatBlock(ListedFormatBlockBytes);
    if (!block)
        return E_OUTOFMEMORY;
    // A failed reallocation may leave a larger block in place; clear all of it.
    std::memset(block, 0, type->cbFormat);
    const CaptureFormat& format = ResolvedFormat(index, preferredIndex);
    auto* video = reinterpret_cast<VIDEOINFOHEADER*>(block);
    CompleteVideoHeader(format, video);

    type->AssignMajorType(MEDIATYPE_Video);
    type->AssignFormatType(FORMAT_VideoInfo);
    type->MarkTemporalCompression(FALSE);
    // The rate of the last negotiated connection, not the listed format's own.
    video->AvgTimePerFrame = ListedFrameInterval(cameraFrameRate);
    type->AssignSubtype(*format.subtype);
    type->AssignSampleSize(video->bmiHeader.biSizeImage);
    return S_OK;
}

HRESULT DescribeCapability(FormatIndex index, FormatIndex preferredIndex, AM_MEDIA_TYPE* type,
                           VIDEO_STREAM_CONFIG_CAPS* caps)
{
    if (!type || !caps)
        return E_POINTER;
    if (!type->pbFormat || type->cbFormat < sizeof(VIDEOINFOHEADER))
        return VFW_E_INVALIDMEDIATYPE;

    const CaptureFormat& format = ResolvedFormat(index, preferredIndex);
    auto* video = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
    CompleteVideoHeader(format, video);
    type->majortype = MEDIATYPE_Video;
    type->subtype = *format.subtype;
    type->formattype = FORMAT_VideoInfo;
    type->bTemporalCompression = FALSE;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = video->bmiHeader.biSizeImage;
    // Only the header is described; the block keeps its allocation, which the receiver
    // frees whole.
    type->cbFormat = sizeof(VIDEOINFOHEADER);

    const LONG width = format.width;
    const LONG height = format.height;
    std::memset(caps, 0, sizeof(*caps));
    caps->guid = FORMAT_VideoInfo;
    caps->InputSize = {width, height};
    caps->MinCroppingSize = {width, height};
    caps->MaxCroppingSize = {width, height};
    caps->MinOutputSize = {width, height};
    caps->MaxOutputSize = {width, height};
    caps->MinFrameInterval = MinFrameInterval;
    caps->MaxFrameInterval = MaxFrameInterval;
    caps->MinBitsPerSecond = height * format.bitCount * width * BitRateFramesPerSecond;
    caps->MaxBitsPerSecond = caps->MinBitsPerSecond;
    return S_OK;
}

bool IsAcceptableCatalogueType(const AM_MEDIA_TYPE& type)
{
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video))
        return false;
    if (!type.bFixedSizeSamples)
        return false;
    if (!IsCatalogueSubtype(type.subtype))
        return false;
    if (!type.pbFormat)
        return false;
    // The header is read from the proposer's block, so it has to be all there.
    if (type.cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const auto* video = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    return IsCatalogueFrameSize(video->bmiHeader.biWidth, video->bmiHeader.biHeight);
}
