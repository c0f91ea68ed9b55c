#include "ImageFile.h"

#include "framework/Ownership.h"
#include "framework/Result.h"

#include <wincodec.h>

#include <algorithm>
#include <climits>
#include <cwctype>

ImageFileType ImageFileTypeFor(const std::wstring& path)
{
    constexpr wchar_t bmp[] = L".bmp";
    constexpr size_t bmpLength = 4;
    if (path.size() < bmpLength)
        return ImageFileType::Png;
    std::wstring ending = path.substr(path.size() - bmpLength);
    std::transform(ending.begin(), ending.end(), ending.begin(), ::towlower);
    return ending == bmp ? ImageFileType::Bmp : ImageFileType::Png;
}

HRESULT SaveImage(const PixelRows& rows, ImageFileType type, const std::wstring& path)
{
    // Sizes are worked out in 64 bits: in a 32-bit program the product of a stride and a
    // height could otherwise wrap to a small number and pass the check below.
    if (rows.width == 0 || rows.height == 0 || !rows.first
        || (rows.bitsPerPixel != 24 && rows.bitsPerPixel != 32))
        return E_INVALIDARG;
    const uint64_t rowBytes = uint64_t(rows.width) * (rows.bitsPerPixel / 8);
    const uint64_t allBytes = rows.stride * rows.height;
    if (rows.stride < rowBytes || rows.stride > UINT_MAX || allBytes > UINT_MAX
        || allBytes > rows.bytes)
        return E_INVALIDARG;

    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, factory.PutVoid()));
    // The factory copies the pixels; it only reads them.
    ComPtr<IWICBitmap> bitmap;
    RETURN_IF_FAILED(factory->CreateBitmapFromMemory(
        rows.width, rows.height,
        rows.bitsPerPixel == 32 ? GUID_WICPixelFormat32bppBGR : GUID_WICPixelFormat24bppBGR,
        UINT(rows.stride), UINT(allBytes), const_cast<BYTE*>(rows.first), bitmap.Put()));

    ComPtr<IWICStream> stream;
    RETURN_IF_FAILED(factory->CreateStream(stream.Put()));
    RETURN_IF_FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    ComPtr<IWICBitmapEncoder> encoder;
    RETURN_IF_FAILED(factory->CreateEncoder(type == ImageFileType::Bmp ? GUID_ContainerFormatBmp
                                                                       : GUID_ContainerFormatPng,
                                            nullptr, encoder.Put()));
    RETURN_IF_FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache));
    ComPtr<IWICBitmapFrameEncode> frame;
    RETURN_IF_FAILED(encoder->CreateNewFrame(frame.Put(), nullptr));
    RETURN_IF_FAILED(frame->Initialize(nullptr));
    RETURN_IF_FAILED(frame->SetSize(rows.width, rows.height));
    // The fourth byte is left out. The encoder may settle on another format than the one
    // asked for; WriteSource converts the pixels to whichever it chose.
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat24bppBGR;
    RETURN_IF_FAILED(frame->SetPixelFormat(&pixelFormat));
    RETURN_IF_FAILED(frame->WriteSource(bitmap.Get(), nullptr));
    RETURN_IF_FAILED(frame->Commit());
    return encoder->Commit();
}
