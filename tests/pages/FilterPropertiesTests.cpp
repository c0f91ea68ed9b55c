#include "PageTestSupport.h"
#include "fakes/FakeIPFilter.h"
#include "pages/CFilterProperties.h"
#include "pages/PageResources.h"

#include <cstring>

namespace {

// The record of a machine where nothing was ever stored.
CameraSettings FreshSettings()
{
    CameraSettings settings = {};
    settings.AutoExposureEnable = 1;
    settings.AutoLevelsEnable = 1;
    strcpy(settings.CameraName, "Not used");
    return settings;
}

class FilterProperties : public PageTest
{
protected:
    FilterProperties() { filter.stored = FreshSettings(); }

    void TearDown() override
    {
        PageTest::TearDown();
        EXPECT_EQ(filter.References(), 0);
    }

    // A variant-1 page on the variant-1 filter, shown in the parent window.
    ComPtr<IPropertyPage> ActivePage(IUnknown* object = nullptr)
    {
        HRESULT result = S_OK;
        CUnknown* created = CreateFilterProperties(nullptr, &result, TestVariant(1));
        return ShowPage(created, result, object ? object : static_cast<IIPFilter*>(&filter));
    }

    FakeIPFilter filter{IID_IIPFilter1};
};

TEST_F(FilterProperties, FreshSettingsShowDefaultsAndWriteBackTheOfferedIndices)
{
    ComPtr<IPropertyPage> page = ActivePage();
    const HWND dialog = PageDialog();

    const std::vector<std::string> gains = {"0.10", "0.20", "0.50",  "1.00",  "2.00",  "4.00",
                                            "6.00", "8.00", "10.00", "12.00", "14.00", "16.00"};
    const std::vector<std::string> times = {"1.00",  "1.50",  "2.00",  "2.50",  "3.50",
                                            "5.00",  "7.50",  "10.00", "15.00", "20.00",
                                            "25.00", "35.00", "50.00"};
    const std::vector<std::string> clips = {"0.10", "0.20", "0.50", "1.00",
                                            "2.00", "5.00", "10.00"};
    EXPECT_EQ(ComboItems(dialog, IDC_EXPOSURE_GAIN), gains);
    EXPECT_EQ(ComboItems(dialog, IDC_EXPOSURE_MAX_GAIN), gains);
    EXPECT_EQ(ComboItems(dialog, IDC_EXPOSURE_INT_TIME), times);
    EXPECT_EQ(ComboItems(dialog, IDC_EXPOSURE_MAX_INT_TIME), times);
    EXPECT_EQ(ComboItems(dialog, IDC_AUTO_LEVELS_MIN_CLIP), clips);
    EXPECT_EQ(ComboItems(dialog, IDC_AUTO_LEVELS_MAX_CLIP), clips);
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_GAIN), "1.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_INT_TIME), "10.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_MAX_GAIN), "1.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_MAX_INT_TIME), "10.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_AUTO_LEVELS_MIN_CLIP), "10.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_AUTO_LEVELS_MAX_CLIP), "10.00");
    EXPECT_TRUE(IsChecked(dialog, IDC_AUTO_EXPOSURE_ENABLE));
    EXPECT_TRUE(IsChecked(dialog, IDC_AUTO_LEVELS_ENABLE));
    EXPECT_FALSE(IsChecked(dialog, IDC_ANTI_FLICKER_ENABLE));
    EXPECT_EQ(ComboItems(dialog, IDC_ANTI_FLICKER_FREQ),
              (std::vector<std::string>{"50 Hz", "60 Hz"}));
    EXPECT_EQ(ComboSelection(dialog, IDC_ANTI_FLICKER_FREQ), "50 Hz");
    EXPECT_EQ(ComboItems(dialog, IDC_CAMERA_NAME),
              (std::vector<std::string>{"Not used", "Test camera 1", "Test camera 2",
                                        "Test camera 3", "Test camera 4"}));
    EXPECT_EQ(ComboSelection(dialog, IDC_CAMERA_NAME), "Not used");

    // Dirty from the moment the dialog exists, and the frame was told.
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_GT(site.statusChanges, 0);
    EXPECT_EQ(site.lastStatus, DWORD(PROPPAGESTATUS_DIRTY));

    ASSERT_EQ(page->Deactivate(), S_OK);
    ASSERT_EQ(filter.written.size(), 1u);
    const CameraSettings& sent = filter.written[0];
    EXPECT_EQ(sent.ExposureGain, 4);
    EXPECT_EQ(sent.ExposureIntTime, 8);
    EXPECT_EQ(sent.ExposureMaxGain, 4);
    EXPECT_EQ(sent.ExposureMaxIntTime, 8);
    EXPECT_EQ(sent.AutoLevelsMinClip, 7);
    EXPECT_EQ(sent.AutoLevelsMaxClip, 7);
    EXPECT_EQ(sent.AutoExposureEnable, 1);
    EXPECT_EQ(sent.AutoLevelsEnable, 1);
    EXPECT_EQ(sent.AntiFlickerEnable, 0);
    EXPECT_EQ(sent.AntiFlickerFreq, 0);
    EXPECT_EQ(sent.settingsChanged, 1);
    EXPECT_STREQ(sent.CameraName, "Not used");
}

TEST_F(FilterProperties, StoredChoicesAreShownAndUserChangesAreWritten)
{
    filter.stored.ExposureGain = 12;
    filter.stored.ExposureIntTime = 13;
    filter.stored.ExposureMaxGain = 12;
    filter.stored.ExposureMaxIntTime = 13;
    filter.stored.AutoLevelsMinClip = 1;
    filter.stored.AutoLevelsMaxClip = 6;
    filter.stored.AutoExposureEnable = 0;
    filter.stored.AutoLevelsEnable = 0;
    filter.stored.AntiFlickerEnable = 1;
    filter.stored.AntiFlickerFreq = 1;
    strcpy(filter.stored.CameraName, "Test camera 3");
    ComPtr<IPropertyPage> page = ActivePage();
    const HWND dialog = PageDialog();

    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_GAIN), "16.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_INT_TIME), "50.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_AUTO_LEVELS_MIN_CLIP), "0.10");
    EXPECT_EQ(ComboSelection(dialog, IDC_AUTO_LEVELS_MAX_CLIP), "5.00");
    EXPECT_FALSE(IsChecked(dialog, IDC_AUTO_EXPOSURE_ENABLE));
    EXPECT_FALSE(IsChecked(dialog, IDC_AUTO_LEVELS_ENABLE));
    EXPECT_TRUE(IsChecked(dialog, IDC_ANTI_FLICKER_ENABLE));
    EXPECT_EQ(ComboSelection(dialog, IDC_ANTI_FLICKER_FREQ), "60 Hz");
    EXPECT_EQ(ComboItems(dialog, IDC_CAMERA_NAME).size(), 5u);
    EXPECT_EQ(ComboSelection(dialog, IDC_CAMERA_NAME), "Test camera 3");

    SelectComboItem(dialog, IDC_EXPOSURE_GAIN, "0.20");
    SelectComboItem(dialog, IDC_CAMERA_NAME, "Test camera 1");
    CheckDlgButton(dialog, IDC_AUTO_EXPOSURE_ENABLE, BST_CHECKED);
    SelectComboItem(dialog, IDC_ANTI_FLICKER_FREQ, "50 Hz");
    ASSERT_EQ(page->Deactivate(), S_OK);
    ASSERT_EQ(filter.written.size(), 1u);
    const CameraSettings& sent = filter.written[0];
    EXPECT_EQ(sent.ExposureGain, 2);
    EXPECT_EQ(sent.ExposureIntTime, 13);
    EXPECT_EQ(sent.ExposureMaxGain, 12);
    EXPECT_EQ(sent.AutoLevelsMinClip, 1);
    EXPECT_EQ(sent.AutoLevelsMaxClip, 6);
    EXPECT_EQ(sent.AutoExposureEnable, 1);
    EXPECT_EQ(sent.AutoLevelsEnable, 0);
    EXPECT_EQ(sent.AntiFlickerEnable, 1);
    EXPECT_EQ(sent.AntiFlickerFreq, 0);
    EXPECT_STREQ(sent.CameraName, "Test camera 1");
}

TEST_F(FilterProperties, ApplyRaisesAndShowsTheLimitsButDeactivateOnlyRaisesThem)
{
    filter.stored.ExposureGain = 5;          // 2.00
    filter.stored.ExposureMaxGain = 3;       // 0.50
    filter.stored.ExposureIntTime = 10;      // 20.00
    filter.stored.ExposureMaxIntTime = 2;    // 1.50
    ComPtr<IPropertyPage> page = ActivePage();
    const HWND dialog = PageDialog();
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_MAX_GAIN), "0.50");

    ASSERT_EQ(page->Apply(), S_OK);
    ASSERT_EQ(filter.written.size(), 1u);
    EXPECT_EQ(filter.written[0].ExposureMaxGain, 5);
    EXPECT_EQ(filter.written[0].ExposureMaxIntTime, 10);
    EXPECT_EQ(filter.written[0].settingsChanged, 1);
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_MAX_GAIN), "2.00");
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_MAX_INT_TIME), "20.00");

    // Lower the limit again: closing the page raises what it sends, not what it shows.
    SelectComboItem(dialog, IDC_EXPOSURE_MAX_GAIN, "0.10");
    std::string maxGainShownWhileSaving;
    filter.onWrite = [&] {
        maxGainShownWhileSaving = ComboSelection(dialog, IDC_EXPOSURE_MAX_GAIN);
    };
    ASSERT_EQ(page->Deactivate(), S_OK);
    ASSERT_EQ(filter.written.size(), 2u);
    EXPECT_EQ(filter.written[1].ExposureMaxGain, 5);
    EXPECT_EQ(maxGainShownWhileSaving, "0.10");
}

TEST_F(FilterProperties, StoredCameraThatIsNotListedStaysShownAndSelected)
{
    strcpy(filter.stored.CameraName, "Old camera");
    ComPtr<IPropertyPage> page = ActivePage();
    std::vector<std::string> items = ComboItems(PageDialog(), IDC_CAMERA_NAME);
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[5], "Old camera");
    EXPECT_EQ(ComboSelection(PageDialog(), IDC_CAMERA_NAME), "Old camera");
    page->Deactivate();

    // A name that a listed camera merely begins with, or matches but for case, is a
    // different camera and must survive the round trip unchanged.
    for (const char* name : {"Test camera", "test camera 2"}) {
        strcpy(filter.stored.CameraName, name);
        ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
        items = ComboItems(PageDialog(), IDC_CAMERA_NAME);
        ASSERT_EQ(items.size(), 6u);
        EXPECT_EQ(items[5], name);
        EXPECT_EQ(SendDlgItemMessageA(PageDialog(), IDC_CAMERA_NAME, CB_GETCURSEL, 0, 0), 5);
        page->Deactivate();
    }
    ASSERT_EQ(filter.written.size(), 3u);
    EXPECT_STREQ(filter.written[0].CameraName, "Old camera");
    EXPECT_STREQ(filter.written[1].CameraName, "Test camera");
    EXPECT_STREQ(filter.written[2].CameraName, "test camera 2");
}

TEST_F(FilterProperties, ValuesOutsideTheirListsSelectNothingAndWriteBackAsNone)
{
    filter.stored.ExposureGain = 13;    // one past the gain list
    filter.stored.ExposureIntTime = -1;
    filter.stored.AutoLevelsMaxClip = 0x7FFFFFFF;
    filter.stored.AutoExposureEnable = 2;    // only 1 checks a box
    filter.stored.AntiFlickerFreq = 2;
    memset(filter.stored.CameraName, 'x', sizeof(filter.stored.CameraName));    // no terminator
    ComPtr<IPropertyPage> page = ActivePage();
    const HWND dialog = PageDialog();
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_GAIN), "<none>");
    EXPECT_EQ(ComboSelection(dialog, IDC_EXPOSURE_INT_TIME), "<none>");
    EXPECT_EQ(ComboSelection(dialog, IDC_AUTO_LEVELS_MAX_CLIP), "<none>");
    EXPECT_FALSE(IsChecked(dialog, IDC_AUTO_EXPOSURE_ENABLE));
    EXPECT_EQ(ComboSelection(dialog, IDC_ANTI_FLICKER_FREQ), "<none>");
    EXPECT_EQ(ComboSelection(dialog, IDC_CAMERA_NAME), std::string(127, 'x'));

    ASSERT_EQ(page->Deactivate(), S_OK);
    ASSERT_EQ(filter.written.size(), 1u);
    EXPECT_EQ(filter.written[0].ExposureGain, 0);
    EXPECT_EQ(filter.written[0].ExposureIntTime, 0);
    EXPECT_EQ(filter.written[0].AutoLevelsMaxClip, 0);
    EXPECT_EQ(filter.written[0].AutoExposureEnable, 0);
    EXPECT_EQ(filter.written[0].AntiFlickerFreq, -1);
    EXPECT_EQ(std::string(filter.written[0].CameraName), std::string(127, 'x'));
}

TEST_F(FilterProperties, PageOnAnotherVariantOrUnrelatedObjectShowsNothingAndWritesNothing)
{
    FakeIPFilter otherVariant(IID_IIPFilter2);
    FakeIPFilter unrelated(IID_IPersist);
    for (FakeIPFilter* object : {&otherVariant, &unrelated}) {
        object->stored = FreshSettings();
        ComPtr<IPropertyPage> page = ActivePage(static_cast<IIPFilter*>(object));
        EXPECT_EQ(bindResult, E_NOINTERFACE);
        const HWND dialog = PageDialog();
        for (int id :
             {IDC_EXPOSURE_GAIN, IDC_AUTO_LEVELS_MAX_CLIP, IDC_ANTI_FLICKER_FREQ, IDC_CAMERA_NAME})
            EXPECT_TRUE(ComboItems(dialog, id).empty());
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(page->Apply(), E_POINTER);
        EXPECT_EQ(page->Deactivate(), S_OK);
        EXPECT_TRUE(object->written.empty());
        page.Reset();
        EXPECT_EQ(object->References(), 0);
    }
}

TEST_F(FilterProperties, FailuresOfTheFilterLeaveControlsEmptyOrThePageDirty)
{
    filter.getResult = E_FAIL;
    ComPtr<IPropertyPage> page = ActivePage();
    EXPECT_TRUE(ComboItems(PageDialog(), IDC_EXPOSURE_GAIN).empty());
    EXPECT_TRUE(IsWindowVisible(PageDialog()));
    page->Deactivate();
    filter.written.clear();

    filter.getResult = S_OK;
    filter.setResult = E_ACCESSDENIED;
    ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
    EXPECT_EQ(page->Apply(), E_ACCESSDENIED);
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_EQ(page->Deactivate(), S_OK);    // the failed write is not reported
    EXPECT_EQ(filter.written.size(), 2u);
}

TEST_F(FilterProperties, ApplyAfterDeactivateSendsNothingMore)
{
    ComPtr<IPropertyPage> page = ActivePage();
    ASSERT_EQ(page->Deactivate(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    ASSERT_EQ(filter.written.size(), 1u);
    EXPECT_EQ(filter.written[0].ExposureGain, 4);
}

TEST_F(FilterProperties, BindingASecondFilterGivesTheFirstBack)
{
    FakeIPFilter second(IID_IIPFilter1);
    second.stored = FreshSettings();
    strcpy(second.stored.CameraName, "Test camera 4");
    {
        ComPtr<IPropertyPage> page = ActivePage();
        page->Deactivate();
        IUnknown* objects[1] = {static_cast<IIPFilter*>(&second)};
        ASSERT_EQ(page->SetObjects(1, objects), S_OK);
        EXPECT_EQ(filter.References(), 0);
        ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
        EXPECT_EQ(ComboSelection(PageDialog(), IDC_CAMERA_NAME), "Test camera 4");
        page->Deactivate();
        EXPECT_EQ(second.written.size(), 1u);
        EXPECT_EQ(filter.written.size(), 1u);
    }
    EXPECT_EQ(second.References(), 0);
}

}    // namespace
