#include "CPinProperties.h"

#include "PageResources.h"
#include "framework/Result.h"

#include <iterator>
#include <new>

namespace {

// In catalogue order: a preferred index is frame-size item + 1 + 3 * colour-space item.
const char* const FrameSizeItems[] = {"2048 x 1536 @ 6 fps", "1024 x 768 @ 18 fps",
                                      "512 x 384 @ 30 fps"};
const char* const ColourSpaceItems[] = {"RGB32", "RGB24"};
constexpr LONG FrameSizeCount = 3;
constexpr LONG FirstRgb24Index = 4;

void AddItems(HWND dialog, int controlId, const char* const* items, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        SendDlgItemMessageA(dialog, controlId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
    }
}

// -1 selects nothing.
void SelectItem(HWND dialog, int controlId, LONG item)
{
    SendDlgItemMessageA(dialog, controlId, CB_SETCURSEL, WPARAM(item), 0);
}

// The selected item, or CB_ERR (-1) when nothing is selected.
LONG SelectedItem(HWND dialog, int controlId)
{
    return LONG(SendDlgItemMessageA(dialog, controlId, CB_GETCURSEL, 0, 0));
}

}    // namespace

CPinProperties::CPinProperties(IUnknown* outer, const FilterVariant& variant)
    : CBasePropertyPage(outer, IDD_PIN_PAGE, IDS_PIN_PAGE_TITLE), variantRecord(variant)
{
}

HRESULT CPinProperties::BindObject(IUnknown* object)
{
    if (!object)
        return E_POINTER;
    // Put() gives back the interface of an object bound before without an unbind.
    if (FAILED(object->QueryInterface(variantRecord.pinInterfaceId, pinInterface.PutVoid())))
        return E_NOINTERFACE;
    return pinInterface ? S_OK : E_FAIL;
}

HRESULT CPinProperties::UnbindObject()
{
    pinInterface.Reset();
    return S_OK;
}

HRESULT CPinProperties::LoadControls()
{
    if (!pinInterface)
        return E_POINTER;
    LONG index = 0;
    RETURN_IF_FAILED(pinInterface->GetPreferredIndex(&index));

    AddItems(dialogWindow, IDC_FRAME_SIZE, FrameSizeItems, std::size(FrameSizeItems));
    // The remainder keeps the sign of the index, so index 0 selects no frame size. Wide
    // arithmetic, so that no stored index can overflow.
    SelectItem(dialogWindow, IDC_FRAME_SIZE, LONG((LONGLONG(index) - 1) % FrameSizeCount));
    AddItems(dialogWindow, IDC_COLOUR_SPACE, ColourSpaceItems, std::size(ColourSpaceItems));
    SelectItem(dialogWindow, IDC_COLOUR_SPACE, index >= FirstRgb24Index ? 1 : 0);
    return S_OK;
}

HRESULT CPinProperties::SaveControls()
{
    if (!pinInterface)
        return E_POINTER;
    const LONG index = (SelectedItem(dialogWindow, IDC_FRAME_SIZE) + 1)
                       + FrameSizeCount * SelectedItem(dialogWindow, IDC_COLOUR_SPACE);
    RETURN_IF_FAILED(pinInterface->SetPreferredIndex(&index));
    return S_OK;
}

HRESULT CPinProperties::CommitChanges()
{
    // The pin page is never dirty: its choice reaches the pin at Deactivate.
    return S_OK;
}

CUnknown* CreatePinProperties(IUnknown* outer, HRESULT*, const FilterVariant& variant)
{
    return new (std::nothrow) CPinProperties(outer, variant);
}
