#pragma once
// Capture filters of two test-only variants, so that the settings the tests store land
// in keys of their own, and what a test needs to reach inside one.
#include "filter/CCapSrc.h"
#include "filter/CCapSrcStream.h"
#include "filter/FilterVariant.h"
#include "framework/ModuleState.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>

#include <vector>

// Five identifiers each, all used only by these tests.
inline const FilterVariant TestVariantA = {
    L"Capture Test Variant A",
    {0x7E1D0C01, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x01}},
    {0x7E1D0C02, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x01}},
    {0x7E1D0C03, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x01}},
    {0x7E1D0C04, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x01}},
    {0x7E1D0C05, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x01}},
};
inline const FilterVariant TestVariantB = {
    L"Capture Test Variant B",
    {0x7E1D0C11, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x02}},
    {0x7E1D0C12, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x02}},
    {0x7E1D0C13, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x02}},
    {0x7E1D0C14, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x02}},
    {0x7E1D0C15, 0x51A4, 0x4C62, {0x9B, 0x70, 0x21, 0x3F, 0x8D, 0x44, 0xA0, 0x02}},
};

// Removes whatever a test stored for the test variants.
void RemoveTestVariantKeys();

// A filter of `variant` with one reference, as a host holds it; `raw` gives the test
// the object itself.
ComPtr<IBaseFilter> MakeCaptureFilter(const FilterVariant& variant, CCapSrc** raw = nullptr);

// The filter's capture pin.
CCapSrcStream* CapturePinOf(IBaseFilter* filter);

// The variant's IIPFilter and IIPPin of a filter.
ComPtr<IIPFilter> FilterSettingsOf(IBaseFilter* filter, const FilterVariant& variant);
ComPtr<IIPPin> PinPreferenceOf(IBaseFilter* filter, const FilterVariant& variant);

// The six catalogue formats by index, with the bytes one frame of each holds.
struct CatalogueFormat
{
    LONG index;
    LONG frameBytes;
};
inline const CatalogueFormat CatalogueFormats[] = {
    {1, 12582912}, {2, 3145728}, {3, 786432}, {4, 9437184}, {5, 2359296}, {6, 589824},
};

// The noise a new worker thread should make: one rand() per byte and one more per frame,
// and, when asked, one draw more after each frame as a downstream filter on the worker
// makes it. Drawn on a new thread, whose generator starts at the default seed.
struct ExpectedNoise
{
    std::vector<std::vector<BYTE>> frames;
    std::vector<int> betweenFrames;    // what a downstream draw after each frame got
};
ExpectedNoise NoiseOfANewThread(size_t frames, LONG frameBytes, bool drawAfterEachFrame = false);

// Every test of a capture filter starts and ends with clean keys and ends with every
// object it made destroyed.
class CaptureFilterTest : public ::testing::Test
{
protected:
    void SetUp() override { RemoveTestVariantKeys(); }
    void TearDown() override
    {
        RemoveTestVariantKeys();
        EXPECT_EQ(ObjectCount, startCount);
    }

    const LONG startCount = ObjectCount;
};
