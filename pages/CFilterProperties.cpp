#include "CFilterProperties.h"

#include "PageResources.h"
#include "camera/TestCamera.h"
#include "filter/CameraValueLists.h"
#include "framework/Result.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const char NoCameraName[] = "Not used";
constexpr UINT CameraRoom = 10;

// One combo box that shows a value list and the settings field that indexes it.
struct ValueBox
{
    int controlId;
    const double* list;
    int count;
    LONG CameraSettings::*field;
};

const ValueBox GainBox = {IDC_EXPOSURE_GAIN, GainValueList, GainValueCount,
                          &CameraSettings::ExposureGain};
const ValueBox IntTimeBox = {IDC_EXPOSURE_INT_TIME, IntTimeValueList, IntTimeValueCount,
                             &CameraSettings::ExposureIntTime};
const ValueBox MaxGainBox = {IDC_EXPOSURE_MAX_GAIN, GainValueList, GainValueCount,
                             &CameraSettings::ExposureMaxGain};
const ValueBox MaxIntTimeBox = {IDC_EXPOSURE_MAX_INT_TIME, IntTimeValueList, IntTimeValueCount,
                                &CameraSettings::ExposureMaxIntTime};
const ValueBox MinClipBox = {IDC_AUTO_LEVELS_MIN_CLIP, ClipValueList, ClipValueCount,
                             &CameraSettings::AutoLevelsMinClip};
const ValueBox MaxClipBox = {IDC_AUTO_LEVELS_MAX_CLIP, ClipValueList, ClipValueCount,
                             &CameraSettings::AutoLevelsMaxClip};

// In the order in which the page fills them.
const ValueBox* const ValueBoxes[] = {&GainBox,       &IntTimeBox, &MaxGainBox,
                                      &MaxIntTimeBox, &MinClipBox, &MaxClipBox};

LRESULT AddItem(HWND dialog, int controlId, const char* text)
{
    return SendDlgItemMessageA(dialog, controlId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// The selected item, or CB_ERR (-1) when nothing is selected.
LONG SelectedItem(HWND dialog, int controlId)
{
    return LONG(SendDlgItemMessageA(dialog, controlId, CB_GETCURSEL, 0, 0));
}

void FormatValue(double value, char (&text)[50])
{
    snprintf(text, sizeof(text), "%3.2lf", value);
}

// Entry 0 of a list is not offered: item k stands for entry k + 1.
void FillValueBox(HWND dialog, const ValueBox& box)
{
    for (int entry = 1; entry < box.count; ++entry) {
        char text[50];
        FormatValue(box.list[entry], text);
        AddItem(dialog, box.controlId, text);
    }
}

// Selects the item that reads like list entry `index`, which for entry 0 is the offered
// entry of the same value. An index outside the list selects nothing.
void SelectValue(HWND dialog, const ValueBox& box, LONG index)
{
    if (index < 0 || index >= box.count)
        return;
    char text[50];
    FormatValue(box.list[index], text);
    SendDlgItemMessageA(dialog, box.controlId, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void CheckBox(HWND dialog, int controlId, LONG setting)
{
    CheckDlgButton(dialog, controlId, setting == 1 ? BST_CHECKED : BST_UNCHECKED);
}

LONG IsBoxChecked(HWND dialog, int controlId)
{
    return IsDlgButtonChecked(dialog, controlId) == BST_CHECKED ? 1 : 0;
}

// Lists "Not used" and the cameras, and selects the stored camera. A stored camera that
// is not listed any more is added, so that it stays shown and selected. The item is
// selected by position: a search by text would match a listed camera whose name merely
// begins with the stored one, or differs from it only in case.
void FillCameraBox(HWND dialog, const char* cameraName)
{
    CameraEntry cameras[CameraRoom];
    const UINT cameraCount = EnumerateCameras(cameras, CameraRoom);
    LRESULT selected = AddItem(dialog, IDC_CAMERA_NAME, NoCameraName);
    bool listed = false;
    for (UINT i = 0; i < cameraCount; ++i) {
        const LRESULT item = AddItem(dialog, IDC_CAMERA_NAME, cameras[i].name);
        const bool same =
            strncmp(cameras[i].name, cameraName, sizeof(CameraSettings::CameraName)) == 0;
        if (same && !listed) {
            listed = true;
            selected = item;
        }
    }
    if (!listed && strcmp(cameraName, NoCameraName) != 0)
        selected = AddItem(dialog, IDC_CAMERA_NAME, cameraName);
    SendDlgItemMessageA(dialog, IDC_CAMERA_NAME, CB_SETCURSEL, WPARAM(selected), 0);
}

}    // namespace

CFilterProperties::CFilterProperties(IUnknown* outer, const FilterVariant& variant)
    : CBasePropertyPage(outer, IDD_FILTER_PAGE, IDS_FILTER_PAGE_TITLE), variantRecord(variant)
{
}

HRESULT CFilterProperties::BindObject(IUnknown* object)
{
    if (!object)
        return E_POINTER;
    // Put() gives back the interface of an object bound before without an unbind.
    if (FAILED(object->QueryInterface(variantRecord.filterInterfaceId, filterInterface.PutVoid())))
        return E_NOINTERFACE;
    return filterInterface ? S_OK : E_FAIL;
}

HRESULT CFilterProperties::UnbindObject()
{
    filterInterface.Reset();
    return S_OK;
}

HRESULT CFilterProperties::LoadControls()
{
    if (!filterInterface)
        return E_POINTER;
    CameraSettings settings = {};
    RETURN_IF_FAILED(filterInterface->GetCameraSettings(&settings));
    settings.CameraName[sizeof(settings.CameraName) - 1] = '\0';

    for (const ValueBox* box : ValueBoxes) {
        FillValueBox(dialogWindow, *box);
        SelectValue(dialogWindow, *box, settings.*box->field);
    }
    CheckBox(dialogWindow, IDC_AUTO_LEVELS_ENABLE, settings.AutoLevelsEnable);
    CheckBox(dialogWindow, IDC_AUTO_EXPOSURE_ENABLE, settings.AutoExposureEnable);

    AddItem(dialogWindow, IDC_ANTI_FLICKER_FREQ, "50 Hz");
    AddItem(dialogWindow, IDC_ANTI_FLICKER_FREQ, "60 Hz");
    if (settings.AntiFlickerFreq == 0 || settings.AntiFlickerFreq == 1) {
        SendDlgItemMessageA(dialogWindow, IDC_ANTI_FLICKER_FREQ, CB_SETCURSEL,
                            WPARAM(settings.AntiFlickerFreq), 0);
    }
    CheckBox(dialogWindow, IDC_ANTI_FLICKER_ENABLE, settings.AntiFlickerEnable);

    FillCameraBox(dialogWindow, settings.CameraName);
    return S_OK;
}

HRESULT CFilterProperties::SaveControls()
{
    return SendControls(false);
}

HRESULT CFilterProperties::CommitChanges()
{
    if (!filterInterface)
        return E_POINTER;
    // An inactive page has no controls to read: its last Deactivate already handed the
    // shown values over, and reading destroyed controls would send a record of junk.
    if (!pageWindow)
        return S_OK;
    return SendControls(true);
}

HRESULT CFilterProperties::SendControls(bool showRaisedLimits)
{
    if (!filterInterface)
        return E_POINTER;
    CameraSettings settings = {};
    for (const ValueBox* box : ValueBoxes)
        settings.*box->field = SelectedItem(dialogWindow, box->controlId) + 1;
    settings.AutoExposureEnable = IsBoxChecked(dialogWindow, IDC_AUTO_EXPOSURE_ENABLE);
    settings.AutoLevelsEnable = IsBoxChecked(dialogWindow, IDC_AUTO_LEVELS_ENABLE);
    settings.AntiFlickerEnable = IsBoxChecked(dialogWindow, IDC_ANTI_FLICKER_ENABLE);
    settings.AntiFlickerFreq = SelectedItem(dialogWindow, IDC_ANTI_FLICKER_FREQ);

    // Auto exposure may never be limited below the manual values.
    if (settings.ExposureMaxGain < settings.ExposureGain)
        settings.ExposureMaxGain = settings.ExposureGain;
    if (settings.ExposureMaxIntTime < settings.ExposureIntTime)
        settings.ExposureMaxIntTime = settings.ExposureIntTime;
    if (showRaisedLimits) {
        SelectValue(dialogWindow, MaxGainBox, settings.ExposureMaxGain);
        SelectValue(dialogWindow, MaxIntTimeBox, settings.ExposureMaxIntTime);
    }

    const LONG camera = SelectedItem(dialogWindow, IDC_CAMERA_NAME);
    if (camera != CB_ERR) {
        const LRESULT length =
            SendDlgItemMessageA(dialogWindow, IDC_CAMERA_NAME, CB_GETLBTEXTLEN, WPARAM(camera), 0);
        if (length >= 0 && length < LRESULT(sizeof(settings.CameraName))) {
            SendDlgItemMessageA(dialogWindow, IDC_CAMERA_NAME, CB_GETLBTEXT, WPARAM(camera),
                                reinterpret_cast<LPARAM>(settings.CameraName));
        }
    }

    // The output pin hands the record to the camera before its next frame.
    settings.settingsChanged = 1;
    RETURN_IF_FAILED(filterInterface->SetCameraSettings(&settings));
    return S_OK;
}

INT_PTR CFilterProperties::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Any message counts as a change, so Apply and Deactivate always write what is shown.
    changesPending = 1;
    if (frameSite)
        frameSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
    return CBasePropertyPage::HandleMessage(window, message, wParam, lParam);
}

CUnknown* CreateFilterProperties(IUnknown* outer, HRESULT*, const FilterVariant& variant)
{
    return new (std::nothrow) CFilterProperties(outer, variant);
}
