#include "PropertyFrameShot.h"

#include "FrameWindows.h"
#include "framework/Ownership.h"
#include "framework/Result.h"

#include <olectl.h>
#include <prsht.h>

namespace {

constexpr UINT PollMs = 50;
constexpr DWORD ShowTimeoutMs = 30000;

// One frame being captured. The frame's modal loop runs on the capturing thread and
// dispatches the thread's timer there, so only that thread touches this.
struct Shot
{
    DWORD thread;
    int pageControl;
    DWORD startTicks;
    WindowImage* image;
    HRESULT result;
    bool finished;
};

// The shot in progress: a thread timer's callback has no context of its own, and the
// frame is modal, so a thread has at most one.
thread_local Shot* activeShot = nullptr;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    Shot* shot = activeShot;
    if (!shot || shot->finished)
        return;
    const HWND frame = FindFrameShowing(shot->thread, shot->pageControl);
    if (frame) {
        shot->finished = true;
        shot->result = CaptureWindow(frame, shot->image) ? S_OK : E_FAIL;
        PostMessageA(frame, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return;
    }
    if (GetTickCount() - shot->startTicks < ShowTimeoutMs)
        return;
    shot->finished = true;
    shot->result = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    CloseThreadWindows(shot->thread);
}

}    // namespace

HRESULT CapturePropertyFrame(IUnknown* object, const wchar_t* caption, int pageControl,
                             WindowImage* image)
{
    if (!object || !image)
        return E_POINTER;
    ComPtr<ISpecifyPropertyPages> specify;
    RETURN_IF_FAILED(object->QueryInterface(IID_ISpecifyPropertyPages, specify.PutVoid()));
    CAUUID pages = {};
    RETURN_IF_FAILED(specify->GetPages(&pages));
    CoTaskMemPtr<GUID> pageIds(pages.pElems);

    Shot shot = {GetCurrentThreadId(), pageControl, GetTickCount(), image, E_ABORT, false};
    const UINT_PTR timer = SetTimer(nullptr, 0, PollMs, OnTimer);
    if (!timer)
        return E_FAIL;
    activeShot = &shot;
    IUnknown* objects[] = {object};
    const HRESULT shown = OleCreatePropertyFrame(nullptr, 0, 0, caption, 1, objects, pages.cElems,
                                                 pageIds.Get(), 0, 0, nullptr);
    KillTimer(nullptr, timer);
    activeShot = nullptr;
    RETURN_IF_FAILED(shown);
    return shot.result;
}
