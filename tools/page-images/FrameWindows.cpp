#include "FrameWindows.h"

#include <prsht.h>

HWND FindControl(HWND root, int controlId)
{
    struct Search
    {
        int controlId;
        HWND found;
    } search = {controlId, nullptr};
    EnumChildWindows(
        root,
        [](HWND window, LPARAM context) -> BOOL {
            Search* search = reinterpret_cast<Search*>(context);
            if (GetDlgCtrlID(window) != search->controlId)
                return TRUE;
            search->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindFrameShowing(DWORD thread, int controlId)
{
    struct Search
    {
        int controlId;
        HWND frame;
    } search = {controlId, nullptr};
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM context) -> BOOL {
            Search* search = reinterpret_cast<Search*>(context);
            const HWND control = FindControl(window, search->controlId);
            if (!control || !IsWindowVisible(control))
                return TRUE;
            search->frame = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.frame;
}

void CloseThreadWindows(DWORD thread)
{
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM) -> BOOL {
            PostMessageA(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            PostMessageA(window, WM_CLOSE, 0, 0);
            return TRUE;
        },
        0);
}
