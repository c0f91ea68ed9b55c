#pragma once
// Opens the platform's property frame on an object with the pages that the object names,
// as a capture program does, captures the frame once it shows its page, and cancels it.
#include "WindowImage.h"

#include <windows.h>
#include <unknwn.h>

// Runs the frame on the calling thread, which must be in a single-threaded apartment.
// `pageControl` is the id of a control on the object's page: the page shows its
// controls by the last step of its activation, so a visible one means the page is
// complete. A frame that has not shown the page within 30 s is closed and
// HRESULT_FROM_WIN32(ERROR_TIMEOUT) returned; one that closes before it is E_ABORT.
HRESULT CapturePropertyFrame(IUnknown* object, const wchar_t* caption, int pageControl,
                             WindowImage* image);
