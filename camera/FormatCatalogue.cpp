#include "FormatCatalogue.h"

#include <cstring>

static_assert(sizeof(VIDEOINFOHEADER) == 88, "a capability block is one VIDEOINFOHEADER");
static_assert(sizeof(VIDEOINFO) == ListedFormatBlockBytes, "listed blocks have VIDEOINFO's room");

namespace {

// 100-nanosecond frame intervals of the nominal rates 6, 18 and 30 frames per second.
constexpr REFERENCE_TIME IntervalAt6Fps = 1666666;
constexpr REFERENCE_TIME IntervalAt18Fps = 555555;
constexpr REFERENCE_TIME IntervalAt30Fps = 333333;

constexpr LONGLONG MinFrameInterval = 300000;
constexpr LONGLONG MaxFrameInterval = 2000000;

// The steps a listed type and a capability share: the bitmap header of the format, its
// image size, and empty source and target rectangles.
void CompleteVideoHeader(FormatIndex index, FormatIndex preferredIndex, VIDEOINFOHEADER* video)
{
    BITMAPINFOHEADER& header = video->bmiHeader;
    FillBitmapHeader(index, preferredIndex, &header);
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biPlanes = 1;
    header.biSizeImage = DWORD(BitmapImageSize(header));
    header.biClrImportant = 0;
    video->rcSource = RECT{};
    video->rcTarget = RECT{};
}

const GUID& SubtypeForBitCount(WORD bitCount)
{
    return bitCount == 32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24;
}

bool IsCatalogueFrameSize(LONG width, LONG height)
{
    // Either sign of height: bottom-up proposals are as good as our top-down ones.
    const LONGLONG rows = height < 0 ? -LONGLONG(height) : LONGLONG(height);
    return (width == 2048 && rows == 1536) || (width == 1024 && rows == 768)
           || (width == 512 && rows == 384);
}

}    // namespace

void FillBitmapHeader(FormatIndex index, FormatIndex preferredIndex, BITMAPINFOHEADER* header)
{
    if (index == PreferredFormatIndex)
        index = preferredIndex;
    if (index < FirstFormatIndex || index > LastFormatIndex)
        index = FirstFormatIndex;
    header->biBitCount = index <= 3 ? 32 : 24;
    header->biCompression = BI_RGB;
    switch (index) {
    case 1:
    case 4:
        header->biWidth = 2048;
        header->biHeight = -1536;
        break;
    case 2:
    case 5:
        header->biWidth = 1024;
        header->biHeight = -768;
        break;
    default:
        header->biWidth = 512;
        header->biHeight = -384;
        break;
    }
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
    auto* video = reinterpret_cast<VIDEOINFOHEADER*>(block);
    CompleteVideoHeader(index, preferredIndex, video);

    type->AssignMajorType(MEDIATYPE_Video);
    type->AssignFormatType(FORMAT_VideoInfo);
    type->MarkTemporalCompression(FALSE);
    // The rate of the last negotiated connection, not the listed format's own.
    if (cameraFrameRate == 6.0)
        video->AvgTimePerFrame = IntervalAt6Fps;
    else if (cameraFrameRate == 18.0)
        video->AvgTimePerFrame = IntervalAt18Fps;
    else
        video->AvgTimePerFrame = IntervalAt30Fps;
    type->AssignSubtype(SubtypeForBitCount(video->bmiHeader.biBitCount));
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

    auto* video = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
    CompleteVideoHeader(index, preferredIndex, video);
    const BITMAPINFOHEADER& header = video->bmiHeader;
    type->majortype = MEDIATYPE_Video;
    type->subtype = SubtypeForBitCount(header.biBitCount);
    type->formattype = FORMAT_VideoInfo;
    type->bTemporalCompression = FALSE;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = header.biSizeImage;
    // Only the header is described; the block keeps its allocation, which the receiver
    // frees whole.
    type->cbFormat = sizeof(VIDEOINFOHEADER);

    const LONG width = header.biWidth;
    const LONG height = -header.biHeight;
    std::memset(caps, 0, sizeof(*caps));
    caps->guid = FORMAT_VideoInfo;
    caps->InputSize = {width, height};
    caps->MinCroppingSize = {width, height};
    caps->MaxCroppingSize = {width, height};
    caps->MinOutputSize = {width, height};
    caps->MaxOutputSize = {width, height};
    caps->MinFrameInterval = MinFrameInterval;
    caps->MaxFrameInterval = MaxFrameInterval;
    // At most 2048 x 1536 x 32 x 20 = 2,013,265,920: still a LONG.
    caps->MinBitsPerSecond = height * header.biBitCount * width * 20;
    caps->MaxBitsPerSecond = caps->MinBitsPerSecond;
    return S_OK;
}

bool IsAcceptableCatalogueType(const AM_MEDIA_TYPE& type)
{
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video))
        return false;
    if (!type.bFixedSizeSamples)
        return false;
    if (!IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB32)
        && !IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB24))
        return false;
    if (!type.pbFormat)
        return false;
    // The header is read from the proposer's block, so it has to be all there.
    if (type.cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const auto* video = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    return IsCatalogueFrameSize(video->bmiHeader.biWidth, video->bmiHeader.biHeight);
}
