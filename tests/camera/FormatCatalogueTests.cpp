#include "camera/FormatCatalogue.h"
#include "framework/MediaType.h"

#include <dshow.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

struct CatalogueEntry
{
    FormatIndex index;
    LONG width, height;
    WORD bitCount;
    const GUID* subtype;
    ULONG imageBytes;
};

const CatalogueEntry Catalogue[] = {
    {1, 2048, -1536, 32, &MEDIASUBTYPE_RGB32, 12582912},
    {2, 1024, -768, 32, &MEDIASUBTYPE_RGB32, 3145728},
    {3, 512, -384, 32, &MEDIASUBTYPE_RGB32, 786432},
    {4, 2048, -1536, 24, &MEDIASUBTYPE_RGB24, 9437184},
    {5, 1024, -768, 24, &MEDIASUBTYPE_RGB24, 2359296},
    {6, 512, -384, 24, &MEDIASUBTYPE_RGB24, 589824},
};

const VIDEOINFOHEADER& VideoHeader(const AM_MEDIA_TYPE& type)
{
    return *reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

// A type as a downstream pin might propose it, with a block of `blockBytes` bytes of
// which the bitmap header's size fields are filled in where they fit.
CMediaTypeRecord ProposedType(LONG width, LONG height, WORD bitCount, const GUID& subtype,
                              ULONG blockBytes = sizeof(VIDEOINFOHEADER))
{
    CMediaTypeRecord type;
    type.AssignMajorType(MEDIATYPE_Video);
    type.AssignSubtype(subtype);
    type.AssignFormatType(FORMAT_VideoInfo);
    type.AssignSampleSize(ULONG(width) * ULONG(height < 0 ? -height : height) * bitCount / 8);
    BYTE* block = type.ReserveFormatBlock(blockBytes);
    std::memset(block, 0, blockBytes);
    VIDEOINFOHEADER full = {};
    full.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    full.bmiHeader.biWidth = width;
    full.bmiHeader.biHeight = height;
    full.bmiHeader.biBitCount = bitCount;
    full.bmiHeader.biPlanes = 1;
    std::memcpy(block, &full, blockBytes < sizeof(full) ? blockBytes : sizeof(full));
    return type;
}

TEST(FormatCatalogue, ResolvesPreferredAndOutOfRangeIndices)
{
    struct Case
    {
        FormatIndex index, preferred;
        LONG width, height;
        WORD bitCount;
    };
    const Case cases[] = {
        {0, 5, 1024, -768, 24},   {0, 0, 2048, -1536, 32}, {0, 9, 2048, -1536, 32},
        {-3, 5, 2048, -1536, 32}, {7, 5, 2048, -1536, 32}, {9, 5, 2048, -1536, 32},
        {3, 5, 512, -384, 32},    {6, 1, 512, -384, 24},
    };
    for (const Case& c : cases) {
        BITMAPINFOHEADER header;
        std::memset(&header, 0xCD, sizeof(header));
        FillBitmapHeader(c.index, c.preferred, &header);
        EXPECT_EQ(header.biWidth, c.width) << c.index << "/" << c.preferred;
        EXPECT_EQ(header.biHeight, c.height) << c.index << "/" << c.preferred;
        EXPECT_EQ(header.biBitCount, c.bitCount) << c.index << "/" << c.preferred;
        EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
        // Nothing but the four fields is written.
        EXPECT_EQ(header.biSize, 0xCDCDCDCDu);
        EXPECT_EQ(header.biSizeImage, 0xCDCDCDCDu);
    }
}

TEST(FormatCatalogue, ListsEverySixFormatsInAZeroFilledVideoInfoBlock)
{
    for (const CatalogueEntry& entry : Catalogue) {
        // A record reused at the same block length keeps its bytes, so they must be
        // cleared by the listing itself.
        CMediaTypeRecord type;
        std::memset(type.ReserveFormatBlock(ListedFormatBlockBytes), 0xCD, ListedFormatBlockBytes);
        ASSERT_EQ(BuildListedMediaType(entry.index, 1, 6.0, &type), S_OK);

        EXPECT_TRUE(IsEqualGUID(type.majortype, MEDIATYPE_Video));
        EXPECT_TRUE(IsEqualGUID(type.subtype, *entry.subtype)) << entry.index;
        EXPECT_TRUE(IsEqualGUID(type.formattype, FORMAT_VideoInfo));
        EXPECT_TRUE(type.bFixedSizeSamples);
        EXPECT_FALSE(type.bTemporalCompression);
        EXPECT_EQ(type.lSampleSize, entry.imageBytes) << entry.index;
        ASSERT_EQ(type.cbFormat, 1128u);

        const VIDEOINFOHEADER& video = VideoHeader(type);
        const BITMAPINFOHEADER& header = video.bmiHeader;
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biWidth, entry.width) << entry.index;
        EXPECT_EQ(header.biHeight, entry.height) << entry.index;
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, entry.bitCount) << entry.index;
        EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
        EXPECT_EQ(header.biSizeImage, entry.imageBytes) << entry.index;
        EXPECT_EQ(header.biXPelsPerMeter, 0);
        EXPECT_EQ(header.biClrUsed, 0u);
        EXPECT_EQ(header.biClrImportant, 0u);
        EXPECT_EQ(video.dwBitRate, 0u);
        EXPECT_EQ(video.dwBitErrorRate, 0u);
        EXPECT_TRUE(IsRectEmpty(&video.rcSource) && video.rcSource.right == 0);
        EXPECT_TRUE(IsRectEmpty(&video.rcTarget) && video.rcTarget.bottom == 0);
        const BYTE* rest = type.pbFormat + sizeof(VIDEOINFOHEADER);
        const BYTE zeros[1128 - sizeof(VIDEOINFOHEADER)] = {};
        EXPECT_EQ(std::memcmp(rest, zeros, sizeof(zeros)), 0) << entry.index;
        EXPECT_TRUE(IsAcceptableCatalogueType(type)) << entry.index;
    }
}

TEST(FormatCatalogue, ListedFrameIntervalFollowsTheCameraRateNotTheFormat)
{
    struct Case
    {
        FormatIndex index;
        double cameraRate;
        REFERENCE_TIME interval;
    };
    const Case cases[] = {
        {1, 18.0, 555555}, {1, 6.0, 1666666}, {3, 6.0, 1666666},
        {3, 30.0, 333333}, {2, 25.0, 333333}, {4, 18.0, 555555},
    };
    for (const Case& c : cases) {
        CMediaTypeRecord type;
        ASSERT_EQ(BuildListedMediaType(c.index, 1, c.cameraRate, &type), S_OK);
        EXPECT_EQ(VideoHeader(type).AvgTimePerFrame, c.interval)
            << c.index << " at " << c.cameraRate;
    }
}

TEST(FormatCatalogue, DescribesCapabilityOnADuplicateOfTheConnectionType)
{
    CMediaTypeRecord connection;
    ASSERT_EQ(BuildListedMediaType(6, 1, 30.0, &connection), S_OK);
    reinterpret_cast<VIDEOINFOHEADER*>(connection.pbFormat)->dwBitRate = 1234;
    MediaTypePtr type(DuplicateMediaType(&connection));
    ASSERT_TRUE(type);

    VIDEO_STREAM_CONFIG_CAPS caps;
    std::memset(&caps, 0xCD, sizeof(caps));
    ASSERT_EQ(DescribeCapability(2, 1, type.get(), &caps), S_OK);

    EXPECT_TRUE(IsEqualGUID(caps.guid, FORMAT_VideoInfo));
    EXPECT_EQ(caps.VideoStandard, 0u);
    for (const SIZE& size : {caps.InputSize, caps.MinCroppingSize, caps.MaxCroppingSize,
                             caps.MinOutputSize, caps.MaxOutputSize}) {
        EXPECT_EQ(size.cx, 1024);
        EXPECT_EQ(size.cy, 768);
    }
    EXPECT_EQ(caps.CropGranularityX, 0);
    EXPECT_EQ(caps.CropAlignY, 0);
    EXPECT_EQ(caps.OutputGranularityX, 0);
    EXPECT_EQ(caps.ShrinkTapsY, 0);
    EXPECT_EQ(caps.MinFrameInterval, 300000);
    EXPECT_EQ(caps.MaxFrameInterval, 2000000);
    EXPECT_EQ(caps.MinBitsPerSecond, 503316480);
    EXPECT_EQ(caps.MaxBitsPerSecond, 503316480);

    EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32));
    EXPECT_TRUE(type->bFixedSizeSamples);
    EXPECT_EQ(type->lSampleSize, 3145728u);
    EXPECT_EQ(type->cbFormat, 88u);
    const VIDEOINFOHEADER& video = VideoHeader(*type);
    EXPECT_EQ(video.bmiHeader.biWidth, 1024);
    EXPECT_EQ(video.bmiHeader.biHeight, -768);
    EXPECT_EQ(video.bmiHeader.biSizeImage, 3145728u);
    // What the connection carried and the capability does not describe stays.
    EXPECT_EQ(video.AvgTimePerFrame, 333333);
    EXPECT_EQ(video.dwBitRate, 1234u);
}

TEST(FormatCatalogue, LargestCapabilityStillFitsItsSignedBitRate)
{
    CMediaTypeRecord connection;
    ASSERT_EQ(BuildListedMediaType(1, 1, 6.0, &connection), S_OK);
    MediaTypePtr type(DuplicateMediaType(&connection));
    ASSERT_TRUE(type);
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    ASSERT_EQ(DescribeCapability(0, 4, type.get(), &caps), S_OK);
    EXPECT_EQ(caps.InputSize.cx, 2048);
    EXPECT_EQ(caps.MinBitsPerSecond, 1509949440);
    ASSERT_EQ(DescribeCapability(1, 4, type.get(), &caps), S_OK);
    EXPECT_EQ(caps.MaxBitsPerSecond, 2013265920);
}

TEST(FormatCatalogue, CapabilityRefusesATypeWithoutAWholeVideoHeader)
{
    CMediaTypeRecord shortBlock = ProposedType(1024, -768, 32, MEDIASUBTYPE_RGB32, 40);
    const CMediaTypeRecord original = shortBlock;
    CMediaTypeRecord noBlock;
    noBlock.AssignMajorType(MEDIATYPE_Video);

    VIDEO_STREAM_CONFIG_CAPS caps;
    std::memset(&caps, 0xCD, sizeof(caps));
    EXPECT_EQ(DescribeCapability(2, 1, &shortBlock, &caps), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(DescribeCapability(2, 1, &noBlock, &caps), VFW_E_INVALIDMEDIATYPE);
    EXPECT_TRUE(shortBlock.Equals(original));
    EXPECT_EQ(shortBlock.cbFormat, 40u);
    EXPECT_EQ(caps.MinFrameInterval, LONGLONG(0xCDCDCDCDCDCDCDCDull));
    EXPECT_EQ(DescribeCapability(2, 1, nullptr, &caps), E_POINTER);
    EXPECT_EQ(DescribeCapability(2, 1, &shortBlock, nullptr), E_POINTER);
}

TEST(FormatCatalogue, AcceptsTheThreeFrameSizesWhateverTheSignOfHeightOrBitCount)
{
    EXPECT_TRUE(IsAcceptableCatalogueType(ProposedType(2048, 1536, 32, MEDIASUBTYPE_RGB32)));
    EXPECT_TRUE(IsAcceptableCatalogueType(ProposedType(2048, -1536, 32, MEDIASUBTYPE_RGB24)));
    EXPECT_TRUE(IsAcceptableCatalogueType(ProposedType(1024, 768, 24, MEDIASUBTYPE_RGB24)));
    EXPECT_TRUE(IsAcceptableCatalogueType(ProposedType(512, -384, 16, MEDIASUBTYPE_RGB32)));

    // The format type and the frame interval are not looked at.
    CMediaTypeRecord untyped = ProposedType(512, 384, 32, MEDIASUBTYPE_RGB32, 1128);
    untyped.AssignFormatType(GUID_NULL);
    EXPECT_TRUE(IsAcceptableCatalogueType(untyped));
}

TEST(FormatCatalogue, RejectsTypesOutsideTheCatalogue)
{
    EXPECT_FALSE(IsAcceptableCatalogueType(ProposedType(2048, 768, 32, MEDIASUBTYPE_RGB32)));
    EXPECT_FALSE(IsAcceptableCatalogueType(ProposedType(640, 480, 32, MEDIASUBTYPE_RGB32)));
    EXPECT_FALSE(IsAcceptableCatalogueType(ProposedType(1024, 768, 16, MEDIASUBTYPE_RGB565)));

    CMediaTypeRecord variable = ProposedType(1024, 768, 32, MEDIASUBTYPE_RGB32);
    variable.AssignSampleSize(0);
    EXPECT_FALSE(IsAcceptableCatalogueType(variable));

    CMediaTypeRecord audio = ProposedType(1024, 768, 32, MEDIASUBTYPE_RGB32);
    audio.AssignMajorType(MEDIATYPE_Audio);
    EXPECT_FALSE(IsAcceptableCatalogueType(audio));

    CMediaTypeRecord noBlock;
    noBlock.AssignMajorType(MEDIATYPE_Video);
    noBlock.AssignSubtype(MEDIASUBTYPE_RGB32);
    EXPECT_FALSE(IsAcceptableCatalogueType(noBlock));

    // A null block that claims a length is still no block.
    AM_MEDIA_TYPE claimed = noBlock;
    claimed.cbFormat = sizeof(VIDEOINFOHEADER);
    EXPECT_FALSE(IsAcceptableCatalogueType(claimed));
}

TEST(FormatCatalogue, RejectsABlockTooShortForAVideoHeaderEvenWhenItsSizeFieldsFit)
{
    // 60 bytes reach biWidth and biHeight of a catalogue size, but not the end of the
    // header: reading it as one would run past the proposer's block.
    const ULONG sizeFieldsEnd = offsetof(VIDEOINFOHEADER, bmiHeader.biHeight) + sizeof(LONG);
    CMediaTypeRecord shortBlock = ProposedType(2048, -1536, 32, MEDIASUBTYPE_RGB32, sizeFieldsEnd);
    EXPECT_FALSE(IsAcceptableCatalogueType(shortBlock));
    CMediaTypeRecord oneShort =
        ProposedType(2048, -1536, 32, MEDIASUBTYPE_RGB32, sizeof(VIDEOINFOHEADER) - 1);
    EXPECT_FALSE(IsAcceptableCatalogueType(oneShort));
}

}    // namespace
