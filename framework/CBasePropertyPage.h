#pragma once
// The property page base: IPropertyPage on top of a modeless child dialog taken from the
// module's resources. A concrete page supplies the six hooks; the base runs the frame's
// protocol (site, binding, activation, dirty state) around them.
#include "framework/CUnknown.h"
#include "framework/Ownership.h"

#include <windows.h>
#include <ocidl.h>

// Runs on the property frame's user-interface thread, as do the dialog's messages; it
// takes no lock. Only the reference count changes atomically.
class CBasePropertyPage : public IPropertyPage, public CUnknown
{
public:
    CBasePropertyPage(IUnknown* outer, UINT dialogResourceId, UINT titleStringId);
    ~CBasePropertyPage() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    HRESULT STDMETHODCALLTYPE Deactivate() override;
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT STDMETHODCALLTYPE Show(UINT command) override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
    HRESULT STDMETHODCALLTYPE IsPageDirty() override;
    HRESULT STDMETHODCALLTYPE Apply() override;
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDirectory) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

protected:
    // The final release unhooks the site and the object while the concrete page is
    // still whole, in case the frame did not.
    void OnFinalRelease() override;

    virtual HRESULT BindObject(IUnknown* object) = 0;
    virtual HRESULT UnbindObject() = 0;
    // Fills the controls of the freshly created dialog from the bound object.
    virtual HRESULT LoadControls() = 0;
    // Hands the shown values to the bound object just before the dialog goes.
    virtual HRESULT SaveControls() = 0;
    // Passes pending changes on when the frame applies them.
    virtual HRESULT CommitChanges() = 0;
    // The page's side of its dialog procedure, from WM_INITDIALOG on. A page that
    // replaces it passes each message on to this one.
    virtual INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    ComPtr<IPropertyPageSite> frameSite;
    HWND pageWindow = nullptr;      // the active dialog; null while the page is not active
    HWND dialogWindow = nullptr;    // the dialog as seen by WM_INITDIALOG; stale once destroyed
    LONG changesPending = 0;        // set by a concrete page, cleared by a successful Apply

private:
    friend INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const UINT titleStringId;
    const UINT dialogResourceId;    // only its low 16 bits name the template
    LONG objectBound = 0;
};

// The dialog procedure of every page dialog. WM_INITDIALOG carries the page (or nothing,
// for a dialog created only to be measured) and parks it in DWLP_USER.
INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Loads string `id` of the module into `buffer` (256 wide characters); empty if missing.
void LoadWideString(UINT id, wchar_t (&buffer)[256]);

// Creates dialog `dialogId` of the module under the desktop and stores its pixel size.
// False, with `size` unchanged, if the dialog cannot be created.
bool MeasureDialog(UINT dialogId, DLGPROC procedure, LPARAM parameter, SIZE* size);
