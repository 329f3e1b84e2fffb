#include "libcapture/screencapturelib/windows/windowbounds.h"

#include <dwmapi.h>

namespace ScreenCaptureLib {

bool visibleBounds(HWND window, RECT& bounds)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return false;
    RECT extended{};
    if (SUCCEEDED(
            DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &extended, sizeof extended)))
        rect = extended;
    bounds = rect;
    return true;
}

bool isCloaked(HWND window)
{
    DWORD cloaked = 0;
    return SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) &&
           cloaked != 0;
}

}  // namespace ScreenCaptureLib
