#include "FrameInputs.h"

#include "ToolText.h"

#include <wincodec.h>

#include <algorithm>
#include <climits>
#include <cwctype>

namespace {

// A name with one %d or %0Nd in it, as ffmpeg names the files of an image series.
struct SeriesPattern
{
    std::wstring prefix;
    std::wstring suffix;
    int digits = 0;    // the least, zero-padded
};

bool ParseSeriesPattern(const std::wstring& argument, SeriesPattern* pattern)
{
    const size_t percent = argument.find(L'%');
    if (percent == std::wstring::npos)
        return false;
    size_t at = percent + 1;
    int digits = 0;
    while (at < argument.size() && argument[at] >= L'0' && argument[at] <= L'9' && digits < 100)
        digits = digits * 10 + (argument[at++] - L'0');
    if (at >= argument.size() || argument[at] != L'd')
        return false;
    pattern->prefix = argument.substr(0, percent);
    pattern->suffix = argument.substr(at + 1);
    pattern->digits = digits;
    return true;
}

std::wstring SeriesName(const SeriesPattern& pattern, int number)
{
    std::wstring digits = std::to_wstring(number);
    if (int(digits.size()) < pattern.digits)
        digits.insert(0, size_t(pattern.digits) - digits.size(), L'0');
    return pattern.prefix + digits + pattern.suffix;
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The pixel formats a still may come in, and the one each is read as: blue, green, red
// and, for four bytes, the fourth byte.
struct StillPixelFormat
{
    const GUID* stored;
    const GUID* read;
    int pixelBytes;
};
const StillPixelFormat StillPixelFormats[] = {
    {&GUID_WICPixelFormat24bppBGR, &GUID_WICPixelFormat24bppBGR, 3},
    {&GUID_WICPixelFormat24bppRGB, &GUID_WICPixelFormat24bppBGR, 3},
    {&GUID_WICPixelFormat32bppBGR, &GUID_WICPixelFormat32bppBGR, 4},
    {&GUID_WICPixelFormat32bppBGRA, &GUID_WICPixelFormat32bppBGRA, 4},
    {&GUID_WICPixelFormat32bppRGBA, &GUID_WICPixelFormat32bppBGRA, 4},
};

// Bits per pixel of a pixel format the still cannot be read in, for the message; 0 when
// the imaging component does not say.
UINT BitsPerPixel(IWICImagingFactory* factory, REFGUID pixelFormat)
{
    ComPtr<IWICComponentInfo> component;
    ComPtr<IWICPixelFormatInfo> info;
    UINT bits = 0;
    if (FAILED(factory->CreateComponentInfo(pixelFormat, component.Put()))
        || FAILED(component->QueryInterface(IID_IWICPixelFormatInfo, info.PutVoid()))
        || FAILED(info->GetBitsPerPixel(&bits)))
        return 0;
    return bits;
}

std::string ResultCode(HRESULT hr)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}    // namespace

bool IsStillPath(const std::wstring& path)
{
    const size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || path.find_first_of(L"\\/", dot) != std::wstring::npos)
        return false;
    std::wstring extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(), ::towlower);
    return extension == L".bmp" || extension == L".png";
}

std::vector<std::wstring> ExpandInput(const std::wstring& argument)
{
    // A file whose own name holds a pattern is still that file.
    SeriesPattern pattern;
    if (FileExists(argument) || !ParseSeriesPattern(argument, &pattern))
        return {argument};
    std::vector<std::wstring> files;
    int number = 0;
    while (number < SeriesStartNumbers && !FileExists(SeriesName(pattern, number)))
        ++number;
    for (; number < INT_MAX && FileExists(SeriesName(pattern, number)); ++number)
        files.push_back(SeriesName(pattern, number));
    return files;
}

bool RawFrameFile::Open(const std::wstring& path, std::string* error)
{
    file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER fileSize = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &fileSize)) {
        *error = SystemErrorText(GetLastError());
        file.Reset();
        return false;
    }
    size = uint64_t(fileSize.QuadPart);
    return true;
}

bool RawFrameFile::Read(BYTE* buffer, size_t bytes, size_t* read, std::string* error)
{
    // One call reads at most what a DWORD counts; a frame is far less, but say so.
    constexpr size_t largestRead = size_t(1) << 30;
    *read = 0;
    while (*read < bytes) {
        const DWORD asked = DWORD(std::min(bytes - *read, largestRead));
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer + *read, asked, &got, nullptr)) {
            *error = SystemErrorText(GetLastError());
            return false;
        }
        if (got == 0)
            break;
        *read += got;
    }
    return true;
}

bool ReadStill(const std::wstring& path, LONG width, LONG height, bool fourByteFrames,
               StillImage* still, std::string* error)
{
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, factory.PutVoid());
    if (FAILED(hr)) {
        *error = "the platform's imaging component is missing (" + ResultCode(hr) + ")";
        return false;
    }
    if (FAILED(hr = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                       WICDecodeMetadataCacheOnDemand,
                                                       decoder.Put()))
        || FAILED(hr = decoder->GetFrame(0, frame.Put()))) {
        const DWORD system = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : 0;
        *error = system ? SystemErrorText(system)
                        : "it is no image the platform can read (" + ResultCode(hr) + ")";
        return false;
    }
    UINT stillWidth = 0;
    UINT stillHeight = 0;
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormatUndefined;
    if (FAILED(hr = frame->GetSize(&stillWidth, &stillHeight))
        || FAILED(hr = frame->GetPixelFormat(&pixelFormat))) {
        *error = "its size cannot be read (" + ResultCode(hr) + ")";
        return false;
    }
    if (LONGLONG(stillWidth) != width || LONGLONG(stillHeight) != height) {
        *error = "it is " + std::to_string(stillWidth) + "x" + std::to_string(stillHeight)
                 + " pixels, not " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    const StillPixelFormat* known = nullptr;
    for (const StillPixelFormat& candidate : StillPixelFormats)
        if (IsEqualGUID(pixelFormat, *candidate.stored))
            known = &candidate;
    if (!known || (known->pixelBytes == 4 && !fourByteFrames)) {
        const UINT bits = BitsPerPixel(factory.Get(), pixelFormat);
        *error = "it has " + (bits ? std::to_string(bits) : std::string("an unknown number of"))
                 + " bits per pixel, not 24" + (fourByteFrames ? " or 32" : "");
        return false;
    }

    ComPtr<IWICBitmapSource> source;
    if (IsEqualGUID(*known->stored, *known->read))
        source = ComPtr<IWICBitmapSource>(frame.Get());
    else if (FAILED(hr = WICConvertBitmapSource(*known->read, frame.Get(), source.Put()))) {
        *error = "its pixels cannot be converted (" + ResultCode(hr) + ")";
        return false;
    }
    const UINT stride = stillWidth * UINT(known->pixelBytes);
    still->pixels.resize(size_t(stride) * stillHeight);
    if (FAILED(hr = source->CopyPixels(nullptr, stride, UINT(still->pixels.size()),
                                       still->pixels.data()))) {
        *error = "its pixels cannot be read (" + ResultCode(hr) + ")";
        return false;
    }
    still->width = stillWidth;
    still->height = stillHeight;
    still->pixelBytes = known->pixelBytes;
    return true;
}
