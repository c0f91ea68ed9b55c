#pragma once
// Finding a property frame and its controls among a thread's windows, for programs that
// drive the frame from outside its modal loop.
#include <windows.h>

// The window anywhere below `root` with the control id, or null.
HWND FindControl(HWND root, int controlId);

// The top-level window of `thread` in which the control is visible, or null. A page
// makes its controls visible by the last step of its activation, so a visible control
// has its contents.
HWND FindFrameShowing(DWORD thread, int controlId);

// Cancels and closes whatever `thread` shows: the frame, or a message in its way.
void CloseThreadWindows(DWORD thread);
