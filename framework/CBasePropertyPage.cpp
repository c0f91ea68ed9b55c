#include "CBasePropertyPage.h"

#include "framework/ModuleState.h"

#include <cstring>
#include <cwchar>

namespace {

// The size GetPageInfo reports in cb is the record's as hosts of the same architecture
// know it: it holds three pointers.
static_assert(sizeof(PROPPAGEINFO) == (sizeof(void*) == 8 ? 48 : 28), "PROPPAGEINFO's layout");

// What GetPageInfo reports for a dialog that cannot be created to be measured.
constexpr SIZE FallbackPageSize = {340, 150};

LPCSTR DialogTemplateName(UINT dialogId)
{
    return MAKEINTRESOURCEA(LOWORD(dialogId));
}

}    // namespace

CBasePropertyPage::CBasePropertyPage(IUnknown* outer, UINT dialogResourceId, UINT titleStringId)
    : CUnknown(outer), titleStringId(titleStringId), dialogResourceId(dialogResourceId)
{
}

CBasePropertyPage::~CBasePropertyPage()
{
    // A page released while still active takes its dialog with it. The dialog first
    // forgets the page, so none of its last messages reaches a page being destroyed.
    if (pageWindow && IsWindow(pageWindow)) {
        SetWindowLongPtrA(pageWindow, DWLP_USER, 0);
        DestroyWindow(pageWindow);
    }
}

HRESULT CBasePropertyPage::InnerQueryInterface(REFIID iid, void** out)
{
    if (out && IsEqualIID(iid, IID_IPropertyPage))
        return HandOutInterface(static_cast<IPropertyPage*>(this), out);
    return CUnknown::InnerQueryInterface(iid, out);
}

void CBasePropertyPage::OnFinalRelease()
{
    SetPageSite(nullptr);
    SetObjects(0, nullptr);
}

HRESULT CBasePropertyPage::SetPageSite(IPropertyPageSite* site)
{
    if (site) {
        if (frameSite)
            return E_UNEXPECTED;
        frameSite = ComPtr<IPropertyPageSite>(site);
        return S_OK;
    }
    if (!frameSite)
        return E_UNEXPECTED;
    frameSite.Reset();
    return S_OK;
}

HRESULT CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL)
{
    if (!rect)
        return E_POINTER;
    if (!objectBound || pageWindow)
        return E_UNEXPECTED;
    pageWindow = CreateDialogParamA(moduleHandle, DialogTemplateName(dialogResourceId), parent,
                                    PageDialogProc, reinterpret_cast<LPARAM>(this));
    if (!pageWindow)
        return E_OUTOFMEMORY;
    LoadControls();
    Move(rect);
    return Show(SW_SHOWNORMAL);
}

HRESULT CBasePropertyPage::Deactivate()
{
    if (!pageWindow)
        return E_UNEXPECTED;
    // The frame's keyboard navigation descends into children marked as control parents;
    // take the mark away before the dialog goes. HandleMessage keeps the mark on an
    // active page, so pageWindow is cleared for the moment of the change.
    const HWND window = pageWindow;
    const LONG_PTR extendedStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
    pageWindow = nullptr;
    SetWindowLongPtrA(window, GWL_EXSTYLE, extendedStyle & ~LONG_PTR(WS_EX_CONTROLPARENT));
    pageWindow = window;

    SaveControls();
    DestroyWindow(pageWindow);
    pageWindow = nullptr;
    return S_OK;
}

HRESULT CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info)
{
    if (!info)
        return E_POINTER;
    // The record carries task memory to the caller: on failure it carries none, so that
    // a caller freeing what it got frees nothing.
    info->pszTitle = nullptr;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    wchar_t title[256];
    LoadWideString(titleStringId, title);
    const size_t titleBytes = (wcslen(title) + 1) * sizeof(wchar_t);
    auto titleCopy = CoTaskMemPtr<wchar_t>::Allocate(titleBytes);
    if (!titleCopy)
        return E_OUTOFMEMORY;
    memcpy(titleCopy.Get(), title, titleBytes);

    SIZE size = FallbackPageSize;
    MeasureDialog(dialogResourceId, PageDialogProc, 0, &size);

    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = titleCopy.Detach();    // the caller frees the title
    info->size = size;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

HRESULT CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects)
{
    if (count == 1) {
        if (!objects || !objects[0])
            return E_POINTER;
        objectBound = 1;
        return BindObject(objects[0]);
    }
    if (count == 0) {
        objectBound = 0;
        return UnbindObject();
    }
    return E_UNEXPECTED;
}

HRESULT CBasePropertyPage::Show(UINT command)
{
    if (!pageWindow)
        return E_UNEXPECTED;
    if (command != SW_HIDE && command != SW_SHOWNORMAL && command != SW_SHOW)
        return E_INVALIDARG;
    ShowWindow(pageWindow, int(command));
    InvalidateRect(pageWindow, nullptr, TRUE);
    return S_OK;
}

HRESULT CBasePropertyPage::Move(LPCRECT rect)
{
    if (!rect)
        return E_POINTER;
    if (!pageWindow)
        return E_UNEXPECTED;
    MoveWindow(pageWindow, rect->left, rect->top, rect->right - rect->left,
               rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT CBasePropertyPage::IsPageDirty()
{
    return changesPending ? S_OK : S_FALSE;
}

HRESULT CBasePropertyPage::Apply()
{
    if (!objectBound || !frameSite)
        return E_UNEXPECTED;
    if (!changesPending)
        return S_OK;
    const HRESULT result = CommitChanges();
    if (SUCCEEDED(result))
        changesPending = 0;
    return result;
}

HRESULT CBasePropertyPage::Help(LPCOLESTR)
{
    return E_NOTIMPL;
}

HRESULT CBasePropertyPage::TranslateAccelerator(MSG*)
{
    return E_NOTIMPL;
}

INT_PTR CBasePropertyPage::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Still being created inside Activate, or Deactivate is taking the control-parent
    // mark away: let everything through untouched.
    if (!pageWindow)
        return 0;
    if (message == WM_STYLECHANGING && int(wParam) == GWL_EXSTYLE) {
        // An active page stays a control parent whoever changes its style, so the
        // frame's keyboard navigation keeps reaching its controls.
        reinterpret_cast<STYLESTRUCT*>(lParam)->styleNew |= WS_EX_CONTROLPARENT;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        auto* page = reinterpret_cast<CBasePropertyPage*>(lParam);
        if (!page)
            return TRUE;
        page->dialogWindow = window;
    }
    auto* page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!page)
        return TRUE;
    return page->HandleMessage(window, message, wParam, lParam);
}

void LoadWideString(UINT id, wchar_t (&buffer)[256])
{
    buffer[0] = L'\0';
    if (platformId == VER_PLATFORM_WIN32_NT) {
        if (LoadStringW(moduleHandle, id, buffer, 256) <= 0)
            buffer[0] = L'\0';
        return;
    }
    char narrow[256];
    const int length = LoadStringA(moduleHandle, id, narrow, sizeof(narrow));
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, narrow, length + 1, buffer, 256);
}

bool MeasureDialog(UINT dialogId, DLGPROC procedure, LPARAM parameter, SIZE* size)
{
    const HWND dialog = CreateDialogParamA(moduleHandle, DialogTemplateName(dialogId),
                                           GetDesktopWindow(), procedure, parameter);
    if (!dialog)
        return false;
    RECT rect = {};
    GetWindowRect(dialog, &rect);
    size->cx = rect.right - rect.left;
    size->cy = rect.bottom - rect.top;
    DestroyWindow(dialog);
    return true;
}
