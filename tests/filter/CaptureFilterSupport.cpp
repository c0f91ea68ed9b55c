#include "CaptureFilterSupport.h"

#include "NewThread.h"

#include <cstdio>
#include <cstdlib>

namespace {

void RemoveClassKey(REFCLSID classId)
{
    wchar_t text[40] = {};
    StringFromGUID2(classId, text, 40);
    char key[128];
    std::snprintf(key, sizeof(key), "Software\\Classes\\CLSID\\%ls", text);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
}

}    // namespace

void RemoveTestVariantKeys()
{
    RemoveClassKey(TestVariantA.filterClassId);
    RemoveClassKey(TestVariantB.filterClassId);
}

ComPtr<IBaseFilter> MakeCaptureFilter(const FilterVariant& variant, CCapSrc** raw)
{
    HRESULT hr = S_OK;
    CUnknown* made = CreateCapSrc(nullptr, &hr, variant);
    EXPECT_EQ(hr, S_OK);
    auto* filter = static_cast<CCapSrc*>(made);
    if (raw)
        *raw = filter;
    return ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(filter));
}

CCapSrcStream* CapturePinOf(IBaseFilter* filter)
{
    return static_cast<CCapSrcStream*>(static_cast<CCapSrc*>(filter)->PinAt(0));
}

ComPtr<IIPFilter> FilterSettingsOf(IBaseFilter* filter, const FilterVariant& variant)
{
    ComPtr<IIPFilter> settings;
    filter->QueryInterface(variant.filterInterfaceId, settings.PutVoid());
    return settings;
}

ComPtr<IIPPin> PinPreferenceOf(IBaseFilter* filter, const FilterVariant& variant)
{
    ComPtr<IIPPin> preference;
    static_cast<IPin*>(CapturePinOf(filter))
        ->QueryInterface(variant.pinInterfaceId, preference.PutVoid());
    return preference;
}

ExpectedNoise NoiseOfANewThread(size_t frames, LONG frameBytes, bool drawAfterEachFrame)
{
    ExpectedNoise noise;
    EXPECT_TRUE(RunOnNewThread([&] {
        for (size_t frame = 0; frame < frames; ++frame) {
            std::vector<BYTE> bytes(static_cast<size_t>(frameBytes));
            for (BYTE& byte : bytes)
                byte = BYTE((rand() >> 6) & 0xFF);
            rand();
            noise.frames.push_back(std::move(bytes));
            if (drawAfterEachFrame)
                noise.betweenFrames.push_back(rand());
        }
    }));
    return noise;
}
