#include "fakes/FakeUnknown.h"
#include "framework/MediaType.h"

#include <dshow.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

class FakeObject : public FakeUnknown, public IUnknown
{
public:
    FAKE_UNKNOWN
    void* Lookup(REFIID) override { return static_cast<IUnknown*>(this); }
};

CMediaTypeRecord VideoType(ULONG blockBytes, BYTE fill)
{
    CMediaTypeRecord type;
    type.AssignMajorType(MEDIATYPE_Video);
    type.AssignSubtype(MEDIASUBTYPE_RGB32);
    type.AssignFormatType(FORMAT_VideoInfo);
    BYTE* block = type.ReserveFormatBlock(blockBytes);
    std::memset(block, fill, blockBytes);
    return type;
}

TEST(MediaTypeRecord, DefaultStateIsZeroWithFixedSamplesOfOneByte)
{
    CMediaTypeRecord type;
    EXPECT_TRUE(IsEqualGUID(type.majortype, GUID_NULL));
    EXPECT_TRUE(type.bFixedSizeSamples);
    EXPECT_EQ(type.lSampleSize, 1u);
    EXPECT_EQ(type.cbFormat, 0u);
    EXPECT_EQ(type.pbFormat, nullptr);
    EXPECT_TRUE(type.IsPartial());
}

TEST(MediaTypeRecord, SampleSizeZeroMeansVariableAndKeepsTheOldSize)
{
    CMediaTypeRecord type;
    type.AssignSampleSize(4096);
    type.AssignSampleSize(0);
    EXPECT_FALSE(type.bFixedSizeSamples);
    EXPECT_EQ(type.lSampleSize, 4096u);
}

TEST(MediaTypeRecord, ReservingTheCurrentLengthKeepsTheBytes)
{
    CMediaTypeRecord type = VideoType(88, 0x5A);
    BYTE* again = type.ReserveFormatBlock(88);
    EXPECT_EQ(again[87], 0x5A);
    BYTE* bigger = type.ReserveFormatBlock(1128);
    ASSERT_NE(bigger, nullptr);
    EXPECT_EQ(type.cbFormat, 1128u);
}

TEST(MediaTypeRecord, CopiesOwnTheirBlockAndTheirObjectReference)
{
    FakeObject object;
    {
        CMediaTypeRecord original = VideoType(88, 0x11);
        original.pUnk = &object;
        object.AddRef();    // the record's own reference
        CMediaTypeRecord copy(original);
        EXPECT_NE(copy.pbFormat, original.pbFormat);
        EXPECT_TRUE(copy.Equals(original));
        EXPECT_EQ(object.References(), 2);
        EXPECT_EQ(copy.CopyFrom(copy), S_OK);    // onto itself: nothing happens
        EXPECT_EQ(object.References(), 2);
    }
    EXPECT_EQ(object.References(), 0);
}

TEST(MediaTypeRecord, EqualsComparesTypesAndBlockButNotSampleFields)
{
    CMediaTypeRecord a = VideoType(88, 1);
    CMediaTypeRecord b = VideoType(88, 1);
    b.AssignSampleSize(12345);
    b.bTemporalCompression = TRUE;
    EXPECT_TRUE(a.Equals(b));
    b.pbFormat[40] = 2;
    EXPECT_FALSE(a.Equals(b));
    CMediaTypeRecord shorter = VideoType(40, 1);
    EXPECT_FALSE(a.Equals(shorter));
}

TEST(MediaTypeRecord, PatternsWithNullGuidsMatchAnything)
{
    CMediaTypeRecord candidate = VideoType(88, 3);
    CMediaTypeRecord anything;
    EXPECT_TRUE(candidate.MatchesPattern(anything));

    CMediaTypeRecord majorOnly;
    majorOnly.AssignMajorType(MEDIATYPE_Video);
    majorOnly.AssignSubtype(GUID_NULL);
    EXPECT_TRUE(candidate.MatchesPattern(majorOnly));
    majorOnly.AssignMajorType(MEDIATYPE_Audio);
    EXPECT_FALSE(candidate.MatchesPattern(majorOnly));

    CMediaTypeRecord withFormat = VideoType(88, 3);
    EXPECT_TRUE(candidate.MatchesPattern(withFormat));
    withFormat.pbFormat[0] = 4;
    EXPECT_FALSE(candidate.MatchesPattern(withFormat));
    withFormat.AssignSubtype(MEDIASUBTYPE_RGB24);
    EXPECT_FALSE(candidate.MatchesPattern(withFormat));
}

TEST(MediaTypeRecord, PartialWhenMajorOrFormatTypeIsNull)
{
    CMediaTypeRecord type = VideoType(88, 0);
    EXPECT_FALSE(type.IsPartial());
    type.AssignSubtype(GUID_NULL);
    EXPECT_FALSE(type.IsPartial());
    type.AssignFormatType(GUID_NULL);
    EXPECT_TRUE(type.IsPartial());
}

TEST(MediaTypeRecord, AClaimedBlockThatIsNotThereIsNeitherReadNorCopied)
{
    AM_MEDIA_TYPE broken = {};
    broken.majortype = MEDIATYPE_Video;
    broken.formattype = FORMAT_VideoInfo;
    broken.cbFormat = 88;
    broken.pbFormat = nullptr;
    CMediaTypeRecord target = VideoType(88, 1);
    EXPECT_EQ(target.CopyFrom(broken), E_POINTER);
    EXPECT_EQ(target.cbFormat, 0u);
    EXPECT_EQ(target.pbFormat, nullptr);
    CMediaTypeRecord candidate = VideoType(88, 1);
    EXPECT_FALSE(candidate.Equals(broken));
    EXPECT_FALSE(candidate.MatchesPattern(broken));
}

TEST(MediaTypeRecord, MoveFromPassesTheBlockWithoutCopying)
{
    CMediaTypeRecord source = VideoType(88, 7);
    BYTE* block = source.pbFormat;
    CMediaTypeRecord target;
    target.MoveFrom(source);
    EXPECT_EQ(target.pbFormat, block);
    EXPECT_EQ(source.pbFormat, nullptr);
    EXPECT_EQ(source.cbFormat, 0u);
}

TEST(MediaTypeHelpers, DuplicateAndDestroyHandleWholeTaskMemoryRecords)
{
    FakeObject object;
    CMediaTypeRecord original = VideoType(1128, 9);
    original.pUnk = &object;
    object.AddRef();
    {
        MediaTypePtr copy(DuplicateMediaType(&original));
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->cbFormat, 1128u);
        EXPECT_EQ(copy->pbFormat[1127], 9);
        EXPECT_EQ(object.References(), 2);
    }
    EXPECT_EQ(object.References(), 1);
    DestroyMediaType(nullptr);
    original.Clear();
    EXPECT_EQ(object.References(), 0);
}

TEST(MediaTypeHelpers, ClearingARecordWithoutABlockFreesNothing)
{
    AM_MEDIA_TYPE type = {};
    BYTE notOwned[4] = {};
    type.pbFormat = notOwned;    // length 0: never freed
    ClearMediaTypeContents(&type);
    EXPECT_EQ(type.pbFormat, notOwned);
}

TEST(MediaTypeHelpers, BitmapImageSizeRoundsRowsToFourBytesAndIgnoresHeightSign)
{
    BITMAPINFOHEADER header = {};
    header.biWidth = 640;
    header.biHeight = -480;
    header.biBitCount = 24;
    EXPECT_EQ(BitmapImageSize(header), 921600);
    header.biWidth = 3;
    header.biHeight = 1;
    EXPECT_EQ(BitmapImageSize(header), 12);
    header.biWidth = 2048;
    header.biHeight = -1536;
    header.biBitCount = 32;
    EXPECT_EQ(BitmapImageSize(header), 12582912);
    header.biWidth = 0x7FFFFFFF;
    header.biHeight = 0x7FFFFFFF;
    EXPECT_GT(BitmapImageSize(header), 0x7FFFFFFFLL);    // no wrap
}

}    // namespace
