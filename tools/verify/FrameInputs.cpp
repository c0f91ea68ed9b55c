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
    std::wstring folder;    // with its separator; taken as it is, whatever it holds
    std::wstring prefix;
    std::wstring suffix;
    int digits = 0;    // the least, zero-padded
};

bool ParseSeriesPattern(const std::wstring& argument, SeriesPattern* pattern)
{
    const size_t nameStart = argument.find_last_of(L"\\/:") + 1;    // npos + 1 is 0
    const size_t percent = argument.find(L'%', nameStart);
    if (percent == std::wstring::npos)
        return false;
    size_t at = percent + 1;
    int digits = 0;
    while (at < argument.size() && argument[at] >= L'0' && argument[at] <= L'9' && digits < 100)
        digits = digits * 10 + (argument[at++] - L'0');
    if (at >= argument.size() || argument[at] != L'd')
        return false;
    pattern->folder = argument.substr(0, nameStart);
    pattern->prefix = argument.substr(nameStart, percent - nameStart);
    pattern->suffix = argument.substr(at + 1);
    pattern->digits = digits;
    return true;
}

// The file name of `number`, without the folder.
std::wstring SeriesFileName(const SeriesPattern& pattern, int number)
{
    std::wstring digits = std::to_wstring(number);
    if (int(digits.size()) < pattern.digits)
        digits.insert(0, size_t(pattern.digits) - digits.size(), L'0');
    return pattern.prefix + digits + pattern.suffix;
}

std::wstring SeriesName(const SeriesPattern& pattern, int number)
{
    return pattern.folder + SeriesFileName(pattern, number);
}

// The number of the series that a file in its folder is named for, or -1.
int SeriesNumberOf(const SeriesPattern& pattern, const std::wstring& name)
{
    const size_t fixed = pattern.prefix.size() + pattern.suffix.size();
    if (name.size() <= fixed)
        return -1;
    int number = 0;
    for (size_t at = pattern.prefix.size(); at < name.size() - pattern.suffix.size(); ++at) {
        if (name[at] < L'0' || name[at] > L'9' || number > (INT_MAX - 9) / 10)
            return -1;
        number = number * 10 + (name[at] - L'0');
    }
    // The whole name must be the one the pattern gives that number, padding and all, in
    // any case, as the file system compares names.
    const std::wstring expected = SeriesFileName(pattern, number);
    return CompareStringOrdinal(name.c_str(), int(name.size()), expected.c_str(),
                                int(expected.size()), TRUE)
                   == CSTR_EQUAL
               ? number
               : -1;
}

// Owns a search of a folder, which FindClose ends.
class FolderSearch
{
public:
    FolderSearch(const std::wstring& wildcard, WIN32_FIND_DATAW* found)
        : handle(FindFirstFileW(wildcard.c_str(), found))
    {
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;
    ~FolderSearch()
    {
        if (Found())
            FindClose(handle);
    }

    bool Found() const { return handle != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAW* found) { return FindNextFileW(handle, found) != FALSE; }

private:
    HANDLE handle;
};

// Counts the files of the series numbered after `number` into `input`.
void FindLaterFiles(const SeriesPattern& pattern, int number, InputFiles* input)
{
    WIN32_FIND_DATAW found;
    FolderSearch search(pattern.folder + pattern.prefix + L"*" + pattern.suffix, &found);
    if (!search.Found())
        return;
    int lowest = INT_MAX;
    do {
        const int later = SeriesNumberOf(pattern, found.cFileName);
        if (later <= number || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        ++input->laterFiles;
        lowest = std::min(lowest, later);
    } while (search.Next(&found));
    if (input->laterFiles)
        input->firstLater = SeriesName(pattern, lowest);
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

InputFiles ExpandInput(const std::wstring& argument)
{
    // A file whose own name holds a pattern is still that file.
    InputFiles input;
    SeriesPattern pattern;
    if (FileExists(argument) || !ParseSeriesPattern(argument, &pattern)) {
        input.files.push_back(argument);
        return input;
    }
    input.series = true;
    int number = 0;
    while (number < SeriesStartNumbers - 1 && !FileExists(SeriesName(pattern, number)))
        ++number;
    for (; number < INT_MAX && FileExists(SeriesName(pattern, number)); ++number)
        input.files.push_back(SeriesName(pattern, number));
    // A series ends at the first number missing; files after that gap are not its frames
    // as ffmpeg reads them, but the user should hear of them.
    input.endNumber = number;
    input.missing = SeriesName(pattern, number);
    FindLaterFiles(pattern, number, &input);
    return input;
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
