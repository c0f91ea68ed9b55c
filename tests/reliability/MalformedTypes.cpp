#include "MalformedTypes.h"

#include "ReliabilitySupport.h"

#include <uuids.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr ULONG PageBytes = 4096;
constexpr ULONG LargestBlock = 4000;

GUID RandomGuid(SeededRandom& random)
{
    GUID guid;
    const uint64_t high = random.Next(), low = random.Next();
    std::memcpy(&guid, &high, 8);
    std::memcpy(reinterpret_cast<BYTE*>(&guid) + 8, &low, 8);
    return guid;
}

GUID PickMajorType(SeededRandom& random)
{
    const uint32_t roll = random.Below(100);
    if (roll < 60)
        return MEDIATYPE_Video;
    if (roll < 70)
        return GUID_NULL;
    if (roll < 80)
        return MEDIATYPE_Audio;
    if (roll < 90)
        return RandomGuid(random);
    return MEDIATYPE_Stream;
}

GUID PickSubtype(SeededRandom& random)
{
    const uint32_t roll = random.Below(100);
    if (roll < 35)
        return MEDIASUBTYPE_RGB32;
    if (roll < 70)
        return MEDIASUBTYPE_RGB24;
    if (roll < 75)
        return GUID_NULL;
    if (roll < 85)
        return RandomGuid(random);
    if (roll < 90)
        return MEDIASUBTYPE_RGB565;
    if (roll < 95)
        return MEDIASUBTYPE_YUY2;
    return MEDIASUBTYPE_ARGB32;
}

GUID PickFormatType(SeededRandom& random)
{
    const uint32_t roll = random.Below(100);
    if (roll < 65)
        return FORMAT_VideoInfo;
    if (roll < 73)
        return GUID_NULL;
    if (roll < 81)
        return FORMAT_VideoInfo2;
    if (roll < 90)
        return RandomGuid(random);
    return FORMAT_None;
}

LONG PickWidth(SeededRandom& random)
{
    const uint32_t roll = random.Below(100);
    if (roll < 10)
        return 2048;
    if (roll < 25)
        return 1024;
    if (roll < 50)
        return 512;
    const LONG odd[] = {0, -1, -512, 1, 3, 511, 513, 640, 2047, 4096, LONG_MAX, LONG_MIN};
    return random.Percent(85) ? random.Pick(odd) : LONG(random.Next());
}

LONG PickHeight(SeededRandom& random, LONG width)
{
    const uint32_t roll = random.Below(100);
    const LONG sign = random.Percent(70) ? -1 : 1;
    if (roll < 70 && (width == 2048 || width == 1024 || width == 512))
        return sign * width * 3 / 4;
    const LONG rows[] = {1536, 768, 384};
    if (roll < 80)
        return sign * random.Pick(rows);
    const LONG odd[] = {0, 1, -1, 480, -480, 1535, -767, LONG_MAX, LONG_MIN};
    return random.Percent(85) ? random.Pick(odd) : LONG(random.Next());
}

WORD PickBitCount(SeededRandom& random)
{
    if (random.Percent(45))
        return random.Percent(50) ? 24 : 32;
    const WORD odd[] = {0, 1, 4, 8, 15, 16, 31, 33, 48, 64, 255, 65535};
    return random.Percent(85) ? random.Pick(odd) : WORD(random.Next());
}

// What an honest header would say: rows rounded up to 4 bytes, times |height|, as 32 bits.
DWORD HonestImageSize(LONG width, LONG height, WORD bitCount)
{
    const int64_t rowBytes = ((int64_t(width) * bitCount + 31) >> 5) * 4;
    const int64_t rows = height < 0 ? -int64_t(height) : int64_t(height);
    return DWORD(uint64_t(rowBytes * rows));
}

DWORD PickImageSize(SeededRandom& random, DWORD honest)
{
    const uint32_t roll = random.Below(100);
    if (roll < 40)
        return honest;
    const DWORD odd[] = {0,          1,          honest - 1, honest + 1,
                         honest / 2, honest * 2, 0xFFFFFFFF, 0x80000000};
    return roll < 90 ? random.Pick(odd) : DWORD(random.Next());
}

VIDEOINFOHEADER PickVideoHeader(SeededRandom& random)
{
    VIDEOINFOHEADER video;
    std::memset(&video, 0, sizeof(video));
    if (!random.Percent(80)) {
        video.rcSource = RECT{LONG(random.Next()), LONG(random.Next()), LONG(random.Next()),
                              LONG(random.Next())};
        video.rcTarget = RECT{LONG(random.Next()), 0, LONG(random.Next()), -1};
        video.dwBitRate = DWORD(random.Next());
        video.dwBitErrorRate = DWORD(random.Next());
    }
    const REFERENCE_TIME intervals[] = {333333, 1666666, 0, -1, LLONG_MAX, LLONG_MIN};
    video.AvgTimePerFrame =
        random.Percent(90) ? random.Pick(intervals) : REFERENCE_TIME(random.Next());

    BITMAPINFOHEADER& header = video.bmiHeader;
    header.biSize = random.Percent(70) ? sizeof(BITMAPINFOHEADER) : DWORD(random.Next());
    header.biWidth = PickWidth(random);
    header.biHeight = PickHeight(random, header.biWidth);
    header.biPlanes = random.Percent(80) ? 1 : WORD(random.Next());
    header.biBitCount = PickBitCount(random);
    header.biCompression = random.Percent(80) ? BI_RGB : DWORD(random.Next());
    header.biSizeImage =
        PickImageSize(random, HonestImageSize(header.biWidth, header.biHeight, header.biBitCount));
    if (!random.Percent(80)) {
        header.biXPelsPerMeter = LONG(random.Next());
        header.biYPelsPerMeter = LONG(random.Next());
        header.biClrUsed = DWORD(random.Next());
        header.biClrImportant = DWORD(random.Next());
    }
    return video;
}

const char* GuidName(const GUID& guid)
{
    struct Named
    {
        const GUID* guid;
        const char* name;
    };
    static const Named known[] = {
        {&GUID_NULL, "null"},
        {&MEDIATYPE_Video, "Video"},
        {&MEDIATYPE_Audio, "Audio"},
        {&MEDIATYPE_Stream, "Stream"},
        {&MEDIASUBTYPE_RGB32, "RGB32"},
        {&MEDIASUBTYPE_RGB24, "RGB24"},
        {&MEDIASUBTYPE_RGB565, "RGB565"},
        {&MEDIASUBTYPE_YUY2, "YUY2"},
        {&MEDIASUBTYPE_ARGB32, "ARGB32"},
        {&FORMAT_VideoInfo, "VideoInfo"},
        {&FORMAT_VideoInfo2, "VideoInfo2"},
        {&FORMAT_None, "None"},
    };
    for (const Named& entry : known) {
        if (IsEqualGUID(guid, *entry.guid))
            return entry.name;
    }
    return "unknown";
}

}    // namespace

GeneratedType::GeneratedType(uint64_t caseSeed, IUnknown* counted)
{
    SeededRandom random(caseSeed);
    type.majortype = PickMajorType(random);
    type.subtype = PickSubtype(random);
    type.formattype = PickFormatType(random);
    const uint32_t fixedRoll = random.Below(100);
    type.bFixedSizeSamples = fixedRoll < 85 ? TRUE : fixedRoll < 93 ? FALSE : BOOL(random.Next());
    type.bTemporalCompression = random.Percent(80) ? FALSE : BOOL(random.Next());
    type.lSampleSize = random.Percent(50) ? ULONG(random.Next()) : random.Below(2);
    type.pUnk = random.Percent(10) ? counted : nullptr;

    const uint32_t blockRoll = random.Below(100);
    if (blockRoll < 8) {
        return;    // no block, none claimed
    }
    if (blockRoll < 12) {
        type.pbFormat = GuardedBlock(0);    // a pointer, but a length of 0
        return;
    }
    if (blockRoll < 16) {
        type.cbFormat = 1 + random.Below(LargestBlock);    // claimed, not there
        return;
    }
    ULONG bytes = 0;
    if (blockRoll < 34)
        bytes = 1 + random.Below(sizeof(VIDEOINFOHEADER) - 1);
    else if (blockRoll < 54)
        bytes = sizeof(VIDEOINFOHEADER);
    else if (blockRoll < 74)
        bytes = sizeof(VIDEOINFO);
    else
        bytes = sizeof(VIDEOINFOHEADER) + 1 + random.Below(LargestBlock - sizeof(VIDEOINFOHEADER));
    type.cbFormat = bytes;
    type.pbFormat = GuardedBlock(bytes);
    for (ULONG position = 0; position < bytes; ++position)
        type.pbFormat[position] = BYTE(random.Next());
    if (random.Percent(85)) {
        // As much of a video header as fits; a short block carries a truncated one.
        const VIDEOINFOHEADER video = PickVideoHeader(random);
        std::memcpy(type.pbFormat, &video, bytes < sizeof(video) ? bytes : sizeof(video));
    }
}

GeneratedType::~GeneratedType()
{
    if (memory)
        VirtualFree(memory, 0, MEM_RELEASE);
}

BYTE* GeneratedType::GuardedBlock(ULONG bytes)
{
    const ULONG readablePages = (bytes + PageBytes - 1) / PageBytes;
    const SIZE_T total = SIZE_T(readablePages + 1) * PageBytes;
    memory = VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory)
        return nullptr;
    BYTE* guard = static_cast<BYTE*>(memory) + SIZE_T(readablePages) * PageBytes;
    DWORD previous = 0;
    VirtualProtect(guard, PageBytes, PAGE_NOACCESS, &previous);
    return guard - bytes;
}

std::string GeneratedType::Describe() const
{
    char text[320];
    int length = std::snprintf(
        text, sizeof(text),
        "major %s, sub %s, format %s, fixed %d, sample size %lu, cbFormat %lu, block %s, pUnk %s",
        GuidName(type.majortype), GuidName(type.subtype), GuidName(type.formattype),
        int(type.bFixedSizeSamples), type.lSampleSize, type.cbFormat,
        type.pbFormat ? "present" : "missing", type.pUnk ? "set" : "none");
    if (const BITMAPINFOHEADER* header = WholeBitmapHeader(type)) {
        std::snprintf(text + length, sizeof(text) - size_t(length),
                      ", header %ld x %ld x %u, biSizeImage %lu", header->biWidth, header->biHeight,
                      unsigned(header->biBitCount), header->biSizeImage);
    }
    return text;
}

const BITMAPINFOHEADER* WholeBitmapHeader(const AM_MEDIA_TYPE& type)
{
    if (!type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
}

bool CatalogueAccepts(const AM_MEDIA_TYPE& type)
{
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !type.bFixedSizeSamples)
        return false;
    if (!IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB32)
        && !IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB24))
        return false;
    const BITMAPINFOHEADER* header = WholeBitmapHeader(type);
    if (!header)
        return false;
    const int64_t width = header->biWidth;
    const int64_t rows =
        header->biHeight < 0 ? -int64_t(header->biHeight) : int64_t(header->biHeight);
    return (width == 2048 && rows == 1536) || (width == 1024 && rows == 768)
           || (width == 512 && rows == 384);
}

bool PatternAdmits(const AM_MEDIA_TYPE& pattern, const AM_MEDIA_TYPE& listed)
{
    if (!IsEqualGUID(pattern.majortype, GUID_NULL)
        && !IsEqualGUID(pattern.majortype, listed.majortype))
        return false;
    if (!IsEqualGUID(pattern.subtype, GUID_NULL) && !IsEqualGUID(pattern.subtype, listed.subtype))
        return false;
    if (IsEqualGUID(pattern.formattype, GUID_NULL))
        return true;
    if (!IsEqualGUID(pattern.formattype, listed.formattype) || pattern.cbFormat != listed.cbFormat)
        return false;
    if (pattern.cbFormat == 0)
        return true;
    return pattern.pbFormat && listed.pbFormat
           && std::memcmp(pattern.pbFormat, listed.pbFormat, pattern.cbFormat) == 0;
}
