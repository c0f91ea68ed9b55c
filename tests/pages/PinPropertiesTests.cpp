#include "PageTestSupport.h"
#include "camera/FormatTable.h"
#include "fakes/FakeIPPin.h"
#include "pages/CPinProperties.h"
#include "pages/PageResources.h"

namespace {

const std::vector<std::string> FrameSizes = {"2048 x 1536 @ 6 fps", "1024 x 768 @ 18 fps",
                                             "512 x 384 @ 30 fps"};
const std::vector<std::string> ColourSpaces = {"RGB32", "RGB24"};

class PinProperties : public PageTest
{
protected:
    void TearDown() override
    {
        PageTest::TearDown();
        EXPECT_EQ(pin.References(), 0);
    }

    // A variant-2 page on `object` (the variant-2 pin unless given), shown in the parent.
    ComPtr<IPropertyPage> ActivePage(IUnknown* object = nullptr)
    {
        HRESULT result = S_OK;
        CUnknown* created = CreatePinProperties(nullptr, &result, TestVariant(2));
        return ShowPage(created, result, object ? object : static_cast<IIPPin*>(&pin));
    }

    FakeIPPin pin{IID_IIPPin2};
};

TEST_F(PinProperties, DefaultIndexShowsRgb32AtFullSizeAndIsNeverDirty)
{
    ComPtr<IPropertyPage> page = ActivePage();
    EXPECT_EQ(bindResult, S_OK);
    const HWND dialog = PageDialog();
    EXPECT_EQ(ComboItems(dialog, IDC_FRAME_SIZE), FrameSizes);
    EXPECT_EQ(ComboItems(dialog, IDC_COLOUR_SPACE), ColourSpaces);
    EXPECT_EQ(ComboSelection(dialog, IDC_COLOUR_SPACE), "RGB32");
    EXPECT_EQ(ComboSelection(dialog, IDC_FRAME_SIZE), "2048 x 1536 @ 6 fps");
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(site.statusChanges, 0);
    ASSERT_EQ(page->Deactivate(), S_OK);
    EXPECT_EQ(pin.written, std::vector<LONG>{1});
}

TEST_F(PinProperties, ChoiceReachesThePinOnDeactivateNotOnApply)
{
    ComPtr<IPropertyPage> page = ActivePage();
    SelectComboItem(PageDialog(), IDC_COLOUR_SPACE, "RGB24");
    SelectComboItem(PageDialog(), IDC_FRAME_SIZE, "512 x 384 @ 30 fps");
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_TRUE(pin.written.empty());
    ASSERT_EQ(page->Deactivate(), S_OK);
    EXPECT_EQ(pin.written, std::vector<LONG>{6});
}

TEST_F(PinProperties, IndicesOutsideTheCatalogueShowTheirNearestReading)
{
    struct Case
    {
        LONG stored;
        const char* colourSpace;
        const char* frameSize;
        LONG writtenBack;
    };
    const Case cases[] = {
        {0, "RGB32", "<none>", 0},
        {7, "RGB24", "2048 x 1536 @ 6 fps", 4},
        {5, "RGB24", "1024 x 768 @ 18 fps", 5},
        {-1, "RGB32", "<none>", 0},
        {-2, "RGB32", "2048 x 1536 @ 6 fps", 1},
        {LONG(0x80000000), "RGB32", "2048 x 1536 @ 6 fps", 1},
    };
    ComPtr<IPropertyPage> page = ActivePage();
    page->Deactivate();
    pin.written.clear();
    for (const Case& c : cases) {
        pin.preferredIndex = c.stored;
        ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
        EXPECT_EQ(ComboSelection(PageDialog(), IDC_COLOUR_SPACE), c.colourSpace) << c.stored;
        EXPECT_EQ(ComboSelection(PageDialog(), IDC_FRAME_SIZE), c.frameSize) << c.stored;
        page->Deactivate();
        ASSERT_FALSE(pin.written.empty());
        EXPECT_EQ(pin.written.back(), c.writtenBack) << c.stored;
    }
}

TEST_F(PinProperties, EveryFormatOfTheTableIsShownAsItselfAndWrittenBackUnchanged)
{
    ComPtr<IPropertyPage> page = ActivePage();
    page->Deactivate();
    pin.written.clear();
    for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index) {
        pin.preferredIndex = index;
        ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
        const CaptureFormat& format = CaptureFormatAt(index);
        const std::string size =
            std::to_string(format.width) + " x " + std::to_string(format.height) + " @ ";
        EXPECT_EQ(ComboSelection(PageDialog(), IDC_COLOUR_SPACE), format.colourSpace) << index;
        EXPECT_EQ(ComboSelection(PageDialog(), IDC_FRAME_SIZE).substr(0, size.size()), size)
            << index;
        page->Deactivate();
        ASSERT_FALSE(pin.written.empty());
        EXPECT_EQ(pin.written.back(), index);
    }
}

TEST_F(PinProperties, FailingPinShowsEmptyListsAndClosingWritesNoSelection)
{
    pin.getResult = E_FAIL;
    ComPtr<IPropertyPage> page = ActivePage();
    EXPECT_TRUE(ComboItems(PageDialog(), IDC_FRAME_SIZE).empty());
    EXPECT_TRUE(ComboItems(PageDialog(), IDC_COLOUR_SPACE).empty());
    EXPECT_TRUE(IsWindowVisible(PageDialog()));
    page->Deactivate();
    EXPECT_EQ(pin.written, std::vector<LONG>{-3});
}

TEST_F(PinProperties, PageOnAnotherVariantsPinShowsNothingAndWritesNothing)
{
    FakeIPPin otherVariant(IID_IIPPin3);
    {
        ComPtr<IPropertyPage> page = ActivePage(static_cast<IIPPin*>(&otherVariant));
        EXPECT_EQ(bindResult, E_NOINTERFACE);
        EXPECT_TRUE(ComboItems(PageDialog(), IDC_FRAME_SIZE).empty());
        EXPECT_TRUE(ComboItems(PageDialog(), IDC_COLOUR_SPACE).empty());
        EXPECT_EQ(page->Deactivate(), S_OK);
    }
    EXPECT_TRUE(otherVariant.written.empty());
    EXPECT_EQ(otherVariant.References(), 0);
}

}    // namespace
