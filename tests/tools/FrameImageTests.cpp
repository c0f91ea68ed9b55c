// Captured frames written as image files and read back by the platform's own decoders.
#include "FrameImage.h"
#include "ImageFile.h"
#include "framework/Ownership.h"

#include <gtest/gtest.h>
#include <wincodec.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

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

// A file of this name, after the running test's, in the prefix's temporary folder, removed
// when the test ends. CTest runs test cases side by side in one prefix: a name shared
// between them would let one overwrite or delete another's file.
class TemporaryFile
{
public:
    // CTest runs each test case in a process of its own, two at a time in one prefix: the
    // test's name keeps one case's file from being written over or deleted by another's.
    explicit TemporaryFile(const wchar_t* name)
    {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path = std::wstring(folder) + std::wstring(test.begin(), test.end()) + L"-" + name;
        DeleteFileW(path.c_str());
    }
    ~TemporaryFile() { DeleteFileW(path.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool Exists() const { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::vector<BYTE> Bytes() const
    {
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        std::vector<BYTE> bytes(file.IsValid() ? GetFileSize(file.Get(), nullptr) : 0);
        DWORD read = 0;
        if (!bytes.empty())
            ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr);
        bytes.resize(read);
        return bytes;
    }

    std::wstring path;
};

// The picture in a file as the platform's decoder reads it: blue, green, red, top row first,
// rows unpadded. Empty when it cannot be read.
std::vector<BYTE> DecodedColourBytes(const std::wstring& path, UINT* width, UINT* height)
{
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> converted;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.PutVoid()))
        || FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, decoder.Put()))
        || FAILED(decoder->GetFrame(0, frame.Put()))
        || FAILED(WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, frame.Get(), converted.Put()))
        || FAILED(converted->GetSize(width, height)))
        return {};
    std::vector<BYTE> pixels(size_t(*width) * *height * 3);
    if (FAILED(converted->CopyPixels(nullptr, *width * 3, UINT(pixels.size()), pixels.data())))
        return {};
    return pixels;
}
}    // namespace

TEST(FrameImage, TopDownFrameReadsBackAsItsColourBytesFromPngAndFromBmp)
{
    // Three 32-bit pixels a row, the top row first as the device delivers it; the fourth
    // bytes are not colour and stay out of the file.
    const BYTE frame[] = {
        1,  2,  3,  99, 4,  5,  6,  99, 7,  8,  9,  99,    // top
        11, 12, 13, 99, 14, 15, 16, 99, 17, 18, 19, 99,    // bottom
    };
    const BYTE expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    TemporaryFile png(L"orvix-frame-image-test.png");
    TemporaryFile bmp(L"orvix-frame-image-test.BMP");
    // A longer file in its place is replaced whole, not written over at its start.
    {
        UniqueHandle stale(
            CreateFileW(bmp.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        const std::vector<BYTE> junk(4096, 0xEE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(stale.Get(), junk.data(), DWORD(junk.size()), &written, nullptr));
    }
    for (const TemporaryFile* file : {&png, &bmp}) {
        std::string error;
        ASSERT_TRUE(
            SaveFrameImage(file->path, FrameHeader(3, -2, 32), frame, sizeof(frame), &error))
            << error;
        UINT width = 0, height = 0;
        const std::vector<BYTE> pixels = DecodedColourBytes(file->path, &width, &height);
        ASSERT_EQ(3u, width);
        ASSERT_EQ(2u, height);
        ASSERT_EQ(sizeof(expected), pixels.size());
        EXPECT_EQ(0, memcmp(expected, pixels.data(), sizeof(expected)));
    }
    const std::vector<BYTE> pngBytes = png.Bytes();
    ASSERT_GE(pngBytes.size(), 8u);
    EXPECT_EQ(0, memcmp("\x89PNG\r\n\x1a\n", pngBytes.data(), 8));
    // 24 bits a pixel: two rows of nine bytes padded to twelve, after the two headers.
    const std::vector<BYTE> bmpBytes = bmp.Bytes();
    ASSERT_EQ(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + 2 * 12, bmpBytes.size());
    EXPECT_EQ('B', bmpBytes[0]);
    EXPECT_EQ('M', bmpBytes[1]);
    BITMAPINFOHEADER info;
    memcpy(&info, bmpBytes.data() + sizeof(BITMAPFILEHEADER), sizeof(info));
    EXPECT_EQ(24, info.biBitCount);
}

TEST(FrameImage, BottomUpFrameWithPaddedRowsReadsBackTopRowFirst)
{
    // Three 24-bit pixels a row, padded to 12 bytes, the bottom row first.
    const BYTE frame[] = {
        11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0,    // bottom
        1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,    // top
    };
    const BYTE expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    TemporaryFile png(L"orvix-frame-image-test.png");
    std::string error;
    ASSERT_TRUE(SaveFrameImage(png.path, FrameHeader(3, 2, 24), frame, sizeof(frame), &error))
        << error;
    UINT width = 0, height = 0;
    const std::vector<BYTE> pixels = DecodedColourBytes(png.path, &width, &height);
    ASSERT_EQ(sizeof(expected), pixels.size());
    EXPECT_EQ(0, memcmp(expected, pixels.data(), sizeof(expected)));
}

TEST(FrameImage, RefusesFramesItCannotReadWholeAndWritesNothing)
{
    const BYTE frame[16] = {};
    BITMAPINFOHEADER compressed = FrameHeader(2, -2, 32);
    compressed.biCompression = BI_BITFIELDS;
    struct
    {
        BITMAPINFOHEADER header;
        const BYTE* frame;
        size_t frameBytes;
    } const refused[] = {
        {FrameHeader(2, -2, 32), frame, 15},
        {FrameHeader(2, -2, 16), frame, sizeof(frame)},
        {compressed, frame, sizeof(frame)},
        {FrameHeader(0, -2, 32), frame, sizeof(frame)},
        {FrameHeader(2, -2, 32), nullptr, sizeof(frame)},
        {FrameHeader(2, LONG_MIN, 32), frame, sizeof(frame)},
        {FrameHeader(LONG_MAX, -2, 32), frame, sizeof(frame)},
        // A gigabyte a frame: counted in 32 bits, the row bytes times the height would
        // still fit, but the frame holds 16.
        {FrameHeader(16384, -16384, 32), frame, sizeof(frame)},
    };
    TemporaryFile png(L"orvix-frame-image-test.png");
    for (const auto& attempt : refused) {
        std::string error;
        EXPECT_FALSE(
            SaveFrameImage(png.path, attempt.header, attempt.frame, attempt.frameBytes, &error))
            << attempt.header.biWidth << "x" << attempt.header.biHeight;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(png.Exists());
    }
}

TEST(ImageFile, RefusesRowsWhoseSizeWouldWrapInsteadOfReadingPastThem)
{
    const BYTE pixels[16] = {};
    PixelRows rows;
    rows.first = pixels;
    rows.bytes = sizeof(pixels);
    rows.bitsPerPixel = 32;
    TemporaryFile png(L"orvix-image-file-test.png");

    // 65536 rows of 262144 bytes: 2^34 bytes, which is 0 in 32-bit arithmetic.
    rows.width = 65536;
    rows.height = 65536;
    rows.stride = 262144;
    EXPECT_EQ(E_INVALIDARG, SaveImage(rows, ImageFileType::Png, png.path));
    // A stride of 2^32 is 0 in the imaging component's count.
    rows.width = 1;
    rows.height = 1;
    rows.stride = uint64_t(UINT_MAX) + 1;
    EXPECT_EQ(E_INVALIDARG, SaveImage(rows, ImageFileType::Png, png.path));
    // A stride shorter than a row would read one row into the next.
    rows.width = 4;
    rows.stride = 12;
    EXPECT_EQ(E_INVALIDARG, SaveImage(rows, ImageFileType::Png, png.path));
    rows.bitsPerPixel = 16;
    rows.stride = 8;
    EXPECT_EQ(E_INVALIDARG, SaveImage(rows, ImageFileType::Bmp, png.path));
    EXPECT_FALSE(png.Exists());

    rows.bitsPerPixel = 32;
    rows.stride = 16;
    EXPECT_EQ(S_OK, SaveImage(rows, ImageFileType::Png, png.path));
    EXPECT_TRUE(png.Exists());
}
