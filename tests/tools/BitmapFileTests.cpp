#include "BitmapFile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
BITMAPINFOHEADER FrameHeader(LONG width, LONG height, WORD bitCount)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = BI_RGB;
    return header;
}

struct ParsedBitmap
{
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    const BYTE* pixels;
};

ParsedBitmap Parse(const std::vector<BYTE>& bytes)
{
    ParsedBitmap parsed;
    memcpy(&parsed.file, bytes.data(), sizeof(parsed.file));
    memcpy(&parsed.info, bytes.data() + sizeof(parsed.file), sizeof(parsed.info));
    parsed.pixels = bytes.data() + parsed.file.bfOffBits;
    return parsed;
}
}    // namespace

TEST(BitmapFile, StoresATopDownFrameBottomRowFirstWithoutItsFourthBytes)
{
    // Two rows of two 32-bit pixels; the top row first, as the device delivers it.
    const BYTE frame[] = {
        1, 2, 3, 99, 4,  5,  6,  99,    // top
        7, 8, 9, 99, 10, 11, 12, 99,    // bottom
    };
    std::string error;
    const std::vector<BYTE> bytes =
        EncodeBitmap(FrameHeader(2, -2, 32), frame, sizeof(frame), &error);
    ASSERT_FALSE(bytes.empty()) << error;
    const ParsedBitmap bitmap = Parse(bytes);
    EXPECT_EQ(0x4D42, bitmap.file.bfType);
    EXPECT_EQ(bytes.size(), bitmap.file.bfSize);
    EXPECT_EQ(2, bitmap.info.biWidth);
    EXPECT_EQ(2, bitmap.info.biHeight);    // bottom-up, as every viewer expects
    EXPECT_EQ(24, bitmap.info.biBitCount);
    // Rows of 6 pixel bytes padded to 8; the picture's bottom row comes first.
    const BYTE expected[] = {7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0};
    ASSERT_EQ(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + sizeof(expected), bytes.size());
    EXPECT_EQ(0, memcmp(expected, bitmap.pixels, sizeof(expected)));
}

TEST(BitmapFile, KeepsTheRowsOfABottomUpFrameInOrder)
{
    // Three 24-bit pixels a row, padded to 12 bytes, the bottom row first.
    const BYTE frame[] = {
        1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0,
    };
    std::string error;
    const std::vector<BYTE> bytes =
        EncodeBitmap(FrameHeader(3, 2, 24), frame, sizeof(frame), &error);
    ASSERT_FALSE(bytes.empty()) << error;
    EXPECT_EQ(0, memcmp(frame, Parse(bytes).pixels, sizeof(frame)));
}

TEST(BitmapFile, RefusesFramesItCannotReadWhole)
{
    const BYTE frame[16] = {};
    std::string error;
    EXPECT_TRUE(EncodeBitmap(FrameHeader(2, -2, 32), frame, 15, &error).empty());
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(EncodeBitmap(FrameHeader(2, -2, 16), frame, sizeof(frame), &error).empty());
    BITMAPINFOHEADER compressed = FrameHeader(2, -2, 32);
    compressed.biCompression = BI_BITFIELDS;
    EXPECT_TRUE(EncodeBitmap(compressed, frame, sizeof(frame), &error).empty());
    EXPECT_TRUE(EncodeBitmap(FrameHeader(0, -2, 32), frame, sizeof(frame), &error).empty());
    EXPECT_TRUE(EncodeBitmap(FrameHeader(2, -2, 32), nullptr, sizeof(frame), &error).empty());
}
