// orvix-page-images: shows the property pages of "Orvix61 Capture Source Test 1" and of
// its pin in the platform's property frame, as a capture program opens them, and writes
// each frame as a PNG image. The module must be registered; scripts/render-pages.sh
// does that and runs this under a virtual display.
#include "Orvix61Test.h"
#include "PropertyFrameShot.h"
#include "framework/Ownership.h"
#include "pages/PageResources.h"

#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <string>

namespace {

enum ExitCode
{
    exitWritten = 0,
    exitFailed = 1,
    exitBadCommandLine = 2,
    exitNotRegistered = 3,
};

const wchar_t FilterName[] = L"Orvix61 Capture Source Test 1";

int Fail(int exitCode, const char* what, HRESULT result)
{
    std::fprintf(stderr, "orvix-page-images: %s (0x%08lX)\n", what,
                 static_cast<unsigned long>(result));
    return exitCode;
}

HRESULT WriteFrameImage(IUnknown* object, const wchar_t* caption, int pageControl,
                        const wchar_t* path)
{
    WindowImage image;
    const HRESULT captured = CapturePropertyFrame(object, caption, pageControl, &image);
    if (FAILED(captured))
        return captured;
    const HRESULT saved = SavePng(image, path);
    if (SUCCEEDED(saved))
        std::printf("%ls: %u x %u\n", path, image.width, image.height);
    return saved;
}

int Run(const wchar_t* filterPagePath, const wchar_t* pinPagePath)
{
    ComPtr<IBaseFilter> filter;
    const HRESULT created = CoCreateInstance(CLSID_Orvix61CapSrc1, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IBaseFilter, filter.PutVoid());
    if (created == REGDB_E_CLASSNOTREG)
        return Fail(exitNotRegistered,
                    "the module is not registered; run regsvr32 Orvix61Test.ax first", created);
    if (FAILED(created))
        return Fail(exitFailed, "cannot create the filter", created);
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> pin;
    if (FAILED(filter->EnumPins(pins.Put())) || pins->Next(1, pin.Put(), nullptr) != S_OK)
        return Fail(exitFailed, "the filter has no pin", E_UNEXPECTED);
    // The frame's title names the pin, as it names the filter.
    PIN_INFO pinInfo = {};
    const HRESULT named = pin->QueryPinInfo(&pinInfo);
    if (FAILED(named))
        return Fail(exitFailed, "the pin has no name", named);
    const ComPtr<IBaseFilter> pinFilter = ComPtr<IBaseFilter>::Adopt(pinInfo.pFilter);

    HRESULT result = WriteFrameImage(filter.Get(), FilterName, IDC_EXPOSURE_GAIN, filterPagePath);
    if (FAILED(result))
        return Fail(exitFailed, "cannot write the filter page's image", result);
    result = WriteFrameImage(pin.Get(), pinInfo.achName, IDC_FRAME_SIZE, pinPagePath);
    if (FAILED(result))
        return Fail(exitFailed, "cannot write the pin page's image", result);
    return exitWritten;
}

}    // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvix-page-images FILTER-PAGE.png PIN-PAGE.png\n");
        return exitBadCommandLine;
    }
    // The frame and its pages want a single-threaded apartment, as a program's UI thread has.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    if (FAILED(apartment.Result()))
        return Fail(exitFailed, "cannot start COM", E_FAIL);
    return Run(argv[1], argv[2]);
}
