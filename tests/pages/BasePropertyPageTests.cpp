#include "PageTestSupport.h"
#include "framework/CBasePropertyPage.h"
#include "pages/CFilterProperties.h"
#include "pages/CPinProperties.h"
#include "pages/PageResources.h"

namespace {

constexpr UINT MissingResourceId = 999;

// A page that records which hooks ran and what the dialog looked like at the time.
class CRecordingPage : public CBasePropertyPage
{
public:
    CRecordingPage(std::vector<std::string>* log, UINT dialogId, UINT titleId)
        : CBasePropertyPage(nullptr, dialogId, titleId), log(log)
    {
    }

    void MarkChanged() { changesPending = 1; }
    HWND Dialog() const { return dialogWindow; }

    HRESULT commitResult = S_OK;
    bool dialogReadyAtLoad = false;
    bool dialogAliveAtSave = false;
    LONG_PTR extendedStyleAtSave = 0;

protected:
    HRESULT BindObject(IUnknown*) override { return Record("Bind", S_OK); }
    HRESULT UnbindObject() override { return Record("Unbind", S_OK); }
    HRESULT LoadControls() override
    {
        dialogReadyAtLoad = IsWindow(dialogWindow) && dialogWindow == pageWindow;
        return Record("Load", S_OK);
    }
    HRESULT SaveControls() override
    {
        dialogAliveAtSave = IsWindow(pageWindow);
        extendedStyleAtSave = GetWindowLongPtrA(pageWindow, GWL_EXSTYLE);
        return Record("Save", S_OK);
    }
    HRESULT CommitChanges() override { return Record("Commit", commitResult); }

private:
    HRESULT Record(const char* hook, HRESULT result)
    {
        log->push_back(hook);
        return result;
    }

    std::vector<std::string>* log;
};

// Any object will do for the recording page.
class FakeObject : public FakeUnknown, public IUnknown
{
public:
    FAKE_UNKNOWN

protected:
    void* Lookup(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    }
};

// A dialog procedure that leaves every message to the dialog manager. Named, since in
// 32-bit code a lambda cannot have the platform's calling convention.
INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The pixel size of a dialog template, from its size in dialog units.
SIZE TemplatePixelSize(UINT dialogId, int widthUnits, int heightUnits)
{
    const HWND dialog = CreateDialogParamA(moduleHandle, MAKEINTRESOURCEA(dialogId),
                                           GetDesktopWindow(), IgnoreMessages, 0);
    RECT rect = {0, 0, widthUnits, heightUnits};
    MapDialogRect(dialog, &rect);
    DestroyWindow(dialog);
    return {rect.right, rect.bottom};
}

class BasePropertyPage : public PageTest
{
protected:
    // The recording page and its only reference; `recording` is valid while `page` lives.
    ComPtr<IPropertyPage> MakePage(UINT dialogId = IDD_PIN_PAGE, UINT titleId = IDS_PIN_PAGE_TITLE)
    {
        recording = new CRecordingPage(&log, dialogId, titleId);
        return AsPropertyPage(recording);
    }

    std::vector<std::string> log;
    CRecordingPage* recording = nullptr;
    FakeObject object;
    IUnknown* objects[1] = {&object};

    void TearDown() override
    {
        PageTest::TearDown();
        EXPECT_EQ(object.References(), 0);
    }
};

TEST_F(BasePropertyPage, RunsHooksInFrameOrderAroundALiveDialog)
{
    ComPtr<IPropertyPage> page = MakePage();
    ASSERT_EQ(page->SetPageSite(&site), S_OK);
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);

    const HWND dialog = PageDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(recording->Dialog(), dialog);
    EXPECT_TRUE(recording->dialogReadyAtLoad);
    EXPECT_TRUE(IsWindowVisible(dialog));
    RECT placed = {};
    GetWindowRect(dialog, &placed);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, pageRect.left);
    EXPECT_EQ(placed.top, pageRect.top);
    EXPECT_EQ(placed.right, pageRect.right);
    EXPECT_EQ(placed.bottom, pageRect.bottom);

    ASSERT_EQ(page->Deactivate(), S_OK);
    EXPECT_TRUE(recording->dialogAliveAtSave);
    EXPECT_FALSE(IsWindow(dialog));
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    ASSERT_EQ(page->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(log, (std::vector<std::string>{"Bind", "Load", "Save", "Unbind"}));
}

TEST_F(BasePropertyPage, OutOfOrderCallsAnswerUnexpectedAndNullPointersAnswerPointer)
{
    ComPtr<IPropertyPage> page = MakePage();
    EXPECT_EQ(page->Activate(parent, &pageRect, FALSE), E_UNEXPECTED);    // nothing bound
    EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
    EXPECT_EQ(page->Move(&pageRect), E_UNEXPECTED);
    EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(page->Apply(), E_UNEXPECTED);                 // no object, no site
    EXPECT_EQ(page->SetPageSite(nullptr), E_UNEXPECTED);    // no site to clear
    EXPECT_EQ(page->SetObjects(2, objects), E_UNEXPECTED);
    IUnknown* none[1] = {nullptr};
    EXPECT_EQ(page->SetObjects(1, none), E_POINTER);
    EXPECT_EQ(page->SetObjects(1, nullptr), E_POINTER);
    EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
    EXPECT_EQ(page->Move(nullptr), E_POINTER);

    ASSERT_EQ(page->SetPageSite(&site), S_OK);
    EXPECT_EQ(page->SetPageSite(&site), E_UNEXPECTED);    // a second site
    EXPECT_EQ(page->Apply(), E_UNEXPECTED);               // still no object
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->Activate(parent, nullptr, FALSE), E_POINTER);
    ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
    EXPECT_EQ(page->Activate(parent, &pageRect, FALSE), E_UNEXPECTED);    // already active
    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(log, (std::vector<std::string>{"Bind", "Load", "Save"}));
    EXPECT_EQ(page->Help(nullptr), E_NOTIMPL);
    EXPECT_EQ(page->TranslateAccelerator(nullptr), E_NOTIMPL);
}

TEST_F(BasePropertyPage, ShowAcceptsOnlyHideShowNormalAndShow)
{
    ComPtr<IPropertyPage> page = MakePage();
    page->SetObjects(1, objects);
    ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
    const HWND dialog = PageDialog();

    EXPECT_EQ(page->Show(SW_HIDE), S_OK);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(page->Show(SW_SHOWMINIMIZED), E_INVALIDARG);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(page->Show(SW_SHOW), S_OK);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(page->Show(SW_HIDE), S_OK);
    EXPECT_EQ(page->Show(SW_SHOWNORMAL), S_OK);
    EXPECT_TRUE(IsWindowVisible(dialog));
    page->Deactivate();
}

TEST_F(BasePropertyPage, ApplyCommitsOnlyDirtyPagesAndStaysDirtyWhenCommitFails)
{
    ComPtr<IPropertyPage> page = MakePage();
    page->SetPageSite(&site);
    page->SetObjects(1, objects);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(log, (std::vector<std::string>{"Bind"}));

    recording->MarkChanged();
    recording->commitResult = E_ACCESSDENIED;
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_EQ(page->Apply(), E_ACCESSDENIED);
    EXPECT_EQ(page->IsPageDirty(), S_OK);

    recording->commitResult = S_FALSE;
    EXPECT_EQ(page->Apply(), S_FALSE);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(log, (std::vector<std::string>{"Bind", "Commit", "Commit"}));
    page->SetObjects(0, nullptr);
    page->SetPageSite(nullptr);
}

TEST_F(BasePropertyPage, FinalReleaseDropsTheSiteAndUnbindsTheObject)
{
    ComPtr<IPropertyPage> page = MakePage();
    page->SetPageSite(&site);
    page->SetObjects(1, objects);
    EXPECT_EQ(site.References(), 1);
    page.Reset();
    EXPECT_EQ(site.References(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"Bind", "Unbind"}));
}

TEST_F(BasePropertyPage, PageReleasedWhileActiveTakesItsDialogWithIt)
{
    ComPtr<IPropertyPage> page = MakePage();
    page->SetPageSite(&site);
    page->SetObjects(1, objects);
    ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
    const HWND dialog = PageDialog();
    page.Reset();
    EXPECT_FALSE(IsWindow(dialog));
    // Messages that reach the parent afterwards must not touch the page.
    SendMessageA(parent, WM_SIZE, 0, MAKELPARAM(200, 200));
}

TEST_F(BasePropertyPage, ActivePageStaysControlParentUntilDeactivated)
{
    ComPtr<IPropertyPage> page = MakePage();
    page->SetObjects(1, objects);
    ASSERT_EQ(page->Activate(parent, &pageRect, FALSE), S_OK);
    const HWND dialog = PageDialog();

    SetWindowLongPtrA(dialog, GWL_EXSTYLE, 0);
    EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    SetWindowLongPtrA(dialog, GWL_EXSTYLE, WS_EX_CLIENTEDGE);
    EXPECT_EQ(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & (WS_EX_CONTROLPARENT | WS_EX_CLIENTEDGE),
              WS_EX_CONTROLPARENT | WS_EX_CLIENTEDGE);

    ASSERT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(recording->extendedStyleAtSave & WS_EX_CONTROLPARENT);
    EXPECT_TRUE(recording->extendedStyleAtSave & WS_EX_CLIENTEDGE);
}

TEST_F(BasePropertyPage, DialogThatCannotBeCreatedFailsActivationAndReportsDefaultSize)
{
    ComPtr<IPropertyPage> page = MakePage(MissingResourceId, MissingResourceId);
    page->SetObjects(1, objects);
    EXPECT_EQ(page->Activate(parent, &pageRect, FALSE), E_OUTOFMEMORY);
    EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);

    PROPPAGEINFO info = {};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    CoTaskMemPtr<wchar_t> title(info.pszTitle);
    ASSERT_NE(title.Get(), nullptr);
    EXPECT_STREQ(title.Get(), L"");
    EXPECT_EQ(info.size.cx, 340);
    EXPECT_EQ(info.size.cy, 150);
}

TEST_F(BasePropertyPage, PageInfoGivesTitleAndPixelSizeOfEachPage)
{
    HRESULT result = S_OK;
    ComPtr<IPropertyPage> filterPage =
        AsPropertyPage(CreateFilterProperties(nullptr, &result, TestVariant(1)));
    ComPtr<IPropertyPage> pinPage =
        AsPropertyPage(CreatePinProperties(nullptr, &result, TestVariant(4)));
    ASSERT_TRUE(filterPage && pinPage);

    PROPPAGEINFO info = {};
    ASSERT_EQ(filterPage->GetPageInfo(&info), S_OK);
    CoTaskMemPtr<wchar_t> filterTitle(info.pszTitle);
    EXPECT_EQ(info.cb, sizeof(void*) == 8 ? 48u : 28u);    // x86-64 or x86 hosts' record
    EXPECT_STREQ(filterTitle.Get(), L"Orvix61 Filter Page");
    const SIZE filterSize = TemplatePixelSize(IDD_FILTER_PAGE, 211, 207);
    EXPECT_GT(filterSize.cx, 0);
    EXPECT_EQ(info.size.cx, filterSize.cx);
    EXPECT_EQ(info.size.cy, filterSize.cy);
    EXPECT_EQ(info.pszDocString, nullptr);
    EXPECT_EQ(info.pszHelpFile, nullptr);
    EXPECT_EQ(info.dwHelpContext, 0u);

    // The narrow path of older platforms loads the same title.
    const DWORD platform = platformId;
    platformId = VER_PLATFORM_WIN32_WINDOWS;
    PROPPAGEINFO pinInfo = {};
    ASSERT_EQ(pinPage->GetPageInfo(&pinInfo), S_OK);
    platformId = platform;
    CoTaskMemPtr<wchar_t> pinTitle(pinInfo.pszTitle);
    EXPECT_STREQ(pinTitle.Get(), L"Orvix61 Pin Page");
    const SIZE pinSize = TemplatePixelSize(IDD_PIN_PAGE, 216, 99);
    EXPECT_EQ(pinInfo.size.cx, pinSize.cx);
    EXPECT_EQ(pinInfo.size.cy, pinSize.cy);
    EXPECT_EQ(result, S_OK);
}

// The templates keep their controls in the tabled order, which is also the tab order.
TEST_F(BasePropertyPage, DialogTemplatesListTheirControlsInTabOrder)
{
    const auto childIds = [](UINT dialogId) {
        const HWND dialog = CreateDialogParamA(moduleHandle, MAKEINTRESOURCEA(dialogId),
                                               GetDesktopWindow(), IgnoreMessages, 0);
        std::vector<int> ids;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            ids.push_back(GetDlgCtrlID(child) == 0xFFFF ? -1 : GetDlgCtrlID(child));
        EXPECT_EQ(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_CONTROLPARENT), 0);
        DestroyWindow(dialog);
        return ids;
    };
    EXPECT_EQ(childIds(IDD_FILTER_PAGE),
              (std::vector<int>{-1,   -1,   -1,   -1,   -1,   -1,   -1,   -1, 1017, 1018, 1020,
                                1021, 1022, 1023, 1024, 1025, 1026, 1019, -1, -1,   1027}));
    EXPECT_EQ(childIds(IDD_PIN_PAGE), (std::vector<int>{1009, 1008, 1012, 1014, -1}));
}

}    // namespace
