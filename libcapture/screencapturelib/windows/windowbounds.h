// Where a top-level window is seen on the desktop, and whether it is seen at all.
#pragma once

#include <windows.h>

namespace ScreenCaptureLib {

// The window rectangle without the invisible resize borders (DWM's extended
// frame bounds); the plain window rectangle where DWM cannot tell (composition
// off, or Wine, whose DWM answers E_NOTIMPL). False when the window is gone.
bool visibleBounds(HWND window, RECT& bounds);

// True only when DWM reports the window cloaked (on another virtual desktop, or
// a suspended store app); a failing query counts as not cloaked.
bool isCloaked(HWND window);

}  // namespace ScreenCaptureLib
