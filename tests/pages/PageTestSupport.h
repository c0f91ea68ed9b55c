#pragma once
// Shared ground of the page tests: the variants' identity records, a real parent window
// for the pages' dialogs, a recording page site, and readers of the dialogs' controls.
#include "Orvix61Test.h"
#include "fakes/FakePropertyPageSite.h"
#include "filter/FilterVariant.h"
#include "framework/CUnknown.h"
#include "framework/ModuleState.h"
#include "framework/Ownership.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include <string>
#include <vector>

inline FilterVariant TestVariant(int number)
{
    static const GUID ids[4][5] = {
        {CLSID_Orvix61CapSrc1, CLSID_Orvix61FilterPage1, CLSID_Orvix61PinPage1, IID_IIPFilter1,
         IID_IIPPin1},
        {CLSID_Orvix61CapSrc2, CLSID_Orvix61FilterPage2, CLSID_Orvix61PinPage2, IID_IIPFilter2,
         IID_IIPPin2},
        {CLSID_Orvix61CapSrc3, CLSID_Orvix61FilterPage3, CLSID_Orvix61PinPage3, IID_IIPFilter3,
         IID_IIPPin3},
        {CLSID_Orvix61CapSrc4, CLSID_Orvix61FilterPage4, CLSID_Orvix61PinPage4, IID_IIPFilter4,
         IID_IIPPin4},
    };
    FilterVariant variant = {};
    swprintf(variant.displayName, 32, L"Orvix61 Capture Source Test %d", number);
    const GUID* row = ids[number - 1];
    variant.filterClassId = row[0];
    variant.filterPageClassId = row[1];
    variant.pinPageClassId = row[2];
    variant.filterInterfaceId = row[3];
    variant.pinInterfaceId = row[4];
    return variant;
}

// The page's IPropertyPage, holding the only reference on a freshly created page.
inline ComPtr<IPropertyPage> AsPropertyPage(CUnknown* object)
{
    ComPtr<IPropertyPage> page;
    if (!object)
        return page;
    object->InnerAddRef();
    object->InnerQueryInterface(IID_IPropertyPage, page.PutVoid());
    object->InnerRelease();
    return page;
}

inline std::vector<std::string> ComboItems(HWND dialog, int controlId)
{
    std::vector<std::string> items;
    const LRESULT count = SendDlgItemMessageA(dialog, controlId, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        const LRESULT length = SendDlgItemMessageA(dialog, controlId, CB_GETLBTEXTLEN, i, 0);
        if (length >= 0 && length < LRESULT(sizeof(text)))
            SendDlgItemMessageA(dialog, controlId, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

// The selected item's text, or "<none>".
inline std::string ComboSelection(HWND dialog, int controlId)
{
    const LRESULT selected = SendDlgItemMessageA(dialog, controlId, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return "<none>";
    const std::vector<std::string> items = ComboItems(dialog, controlId);
    return size_t(selected) < items.size() ? items[selected] : "<bad index>";
}

inline void SelectComboItem(HWND dialog, int controlId, const char* text)
{
    SendDlgItemMessageA(dialog, controlId, CB_SELECTSTRING, WPARAM(-1),
                        reinterpret_cast<LPARAM>(text));
}

inline bool IsChecked(HWND dialog, int controlId)
{
    return IsDlgButtonChecked(dialog, controlId) == BST_CHECKED;
}

// A real top-level window standing in for the property frame; it owns a page site that
// records status changes. Every test ends with its objects gone and the site unused.
class PageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "OrvixPageTestFrame";
        RegisterClassA(&windowClass);
        parent = CreateWindowExA(0, "OrvixPageTestFrame", "Page test", WS_OVERLAPPEDWINDOW, 0, 0,
                                 640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        ShowWindow(parent, SW_SHOW);
    }

    void TearDown() override
    {
        DestroyWindow(parent);
        EXPECT_EQ(site.References(), 0);
        EXPECT_EQ(ObjectCount, startCount);
    }

    // A page just made by its creation function (`created`, `result`), given the site,
    // bound to `object` (its answer kept in bindResult) and shown in the parent window.
    ComPtr<IPropertyPage> ShowPage(CUnknown* created, HRESULT result, IUnknown* object)
    {
        ComPtr<IPropertyPage> page = AsPropertyPage(created);
        EXPECT_EQ(result, S_OK);
        EXPECT_EQ(page->SetPageSite(&site), S_OK);
        bindResult = page->SetObjects(1, &object);
        EXPECT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
        return page;
    }

    // The page's dialog while it is active: the parent's only child.
    HWND PageDialog() const { return GetWindow(parent, GW_CHILD); }

    const LONG startCount = ObjectCount;
    FakePropertyPageSite site;
    HWND parent = nullptr;
    const RECT pageRect = {10, 20, 360, 320};
    HRESULT bindResult = E_FAIL;
};
