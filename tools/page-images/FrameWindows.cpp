#include "FrameWindows.h"

#include <prsht.h>

namespace {

// The enumeration callbacks are named functions: a lambda converts only to a pointer of
// the compiler's default calling convention, which in 32-bit code is not the platform's.
struct ControlSearch
{
    int controlId;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND window, LPARAM context)
{
    ControlSearch* search = reinterpret_cast<ControlSearch*>(context);
    if (GetDlgCtrlID(window) != search->controlId)
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK MatchFrameShowing(HWND window, LPARAM context)
{
    ControlSearch* search = reinterpret_cast<ControlSearch*>(context);
    const HWND control = FindControl(window, search->controlId);
    if (!control || !IsWindowVisible(control))
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK PostClose(HWND window, LPARAM)
{
    PostMessageA(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}    // namespace

HWND FindControl(HWND root, int controlId)
{
    ControlSearch search = {controlId, nullptr};
    EnumChildWindows(root, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindFrameShowing(DWORD thread, int controlId)
{
    ControlSearch search = {controlId, nullptr};
    EnumThreadWindows(thread, MatchFrameShowing, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void CloseThreadWindows(DWORD thread)
{
    EnumThreadWindows(thread, PostClose, 0);
}
