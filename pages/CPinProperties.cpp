#include "CPinProperties.h"

#include "PageResources.h"
#include "camera/FormatTable.h"
#include "framework/Result.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

// The two lists of the page: each frame size and each colour space of the format table
// once, in the order the table first names it. A format is the pair of its items.
class FormatChoices
{
public:
    FormatChoices()
    {
        for (const CaptureFormat& format : FormatCatalogue) {
            AddOnce(&frameSizes, FrameSizeText(format));
            AddOnce(&colourSpaces, format.colourSpace);
        }
    }

    const std::vector<std::string>& FrameSizes() const { return frameSizes; }
    const std::vector<std::string>& ColourSpaces() const { return colourSpaces; }

    // The items that show `index`. Outside the table the page shows what it always has:
    // the frame size of (index - 1) modulo the sizes, with the remainder taking the sign
    // of the index (0 selects none), and the first colour
    // space below the table, the last above it.
    void ItemsOf(FormatIndex index, LONG* frameSizeItem, LONG* colourSpaceItem) const
    {
        if (IsCatalogueIndex(index)) {
            const CaptureFormat& format = CaptureFormatAt(index);
            *frameSizeItem = ItemOf(frameSizes, FrameSizeText(format));
            *colourSpaceItem = ItemOf(colourSpaces, format.colourSpace);
            return;
        }
        // Wide arithmetic, so that no stored index can overflow.
        *frameSizeItem = LONG((LONGLONG(index) - 1) % LONGLONG(frameSizes.size()));
        *colourSpaceItem = index < FirstFormatIndex ? 0 : LONG(colourSpaces.size()) - 1;
    }

    // The index of the chosen pair; an item of -1 is a list without a choice. A colour
    // space the chosen size does not come in gives the first format of that size. With a
    // list left without a choice the index is, as it always was, frame-size item + 1 +
    // sizes x colour-space item, which the pin reads as its first format when it falls
    // outside the table.
    FormatIndex IndexOf(LONG frameSizeItem, LONG colourSpaceItem) const
    {
        if (frameSizeItem < 0 || colourSpaceItem < 0)
            return (frameSizeItem + 1) + LONG(frameSizes.size()) * colourSpaceItem;
        FormatIndex firstOfSize = PreferredFormatIndex;
        for (FormatIndex index = FirstFormatIndex; index <= LastFormatIndex; ++index) {
            const CaptureFormat& format = CaptureFormatAt(index);
            if (FrameSizeText(format) != frameSizes[size_t(frameSizeItem)])
                continue;
            if (format.colourSpace == colourSpaces[size_t(colourSpaceItem)])
                return index;
            if (firstOfSize == PreferredFormatIndex)
                firstOfSize = index;
        }
        return firstOfSize;
    }

private:
    // "2048 x 1536 @ 6 fps"
    static std::string FrameSizeText(const CaptureFormat& format)
    {
        char text[48];
        std::snprintf(text, sizeof(text), "%ld x %ld @ %g fps", long(format.width),
                      long(format.height), format.framesPerSecond);
        return text;
    }

    static void AddOnce(std::vector<std::string>* items, const std::string& item)
    {
        if (std::find(items->begin(), items->end(), item) == items->end())
            items->push_back(item);
    }

    static LONG ItemOf(const std::vector<std::string>& items, const std::string& item)
    {
        return LONG(std::find(items.begin(), items.end(), item) - items.begin());
    }

    std::vector<std::string> frameSizes;
    std::vector<std::string> colourSpaces;
};

void AddItems(HWND dialog, int controlId, const std::vector<std::string>& items)
{
    for (const std::string& item : items)
        SendDlgItemMessageA(dialog, controlId, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(item.c_str()));
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

    const FormatChoices choices;
    LONG frameSizeItem = 0, colourSpaceItem = 0;
    choices.ItemsOf(index, &frameSizeItem, &colourSpaceItem);
    AddItems(dialogWindow, IDC_FRAME_SIZE, choices.FrameSizes());
    SelectItem(dialogWindow, IDC_FRAME_SIZE, frameSizeItem);
    AddItems(dialogWindow, IDC_COLOUR_SPACE, choices.ColourSpaces());
    SelectItem(dialogWindow, IDC_COLOUR_SPACE, colourSpaceItem);
    return S_OK;
}

HRESULT CPinProperties::SaveControls()
{
    if (!pinInterface)
        return E_POINTER;
    const FormatIndex index = FormatChoices().IndexOf(SelectedItem(dialogWindow, IDC_FRAME_SIZE),
                                                      SelectedItem(dialogWindow, IDC_COLOUR_SPACE));
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
