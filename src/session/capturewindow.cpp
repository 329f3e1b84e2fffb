#include "src/session/capturewindow.h"

#include "Comm/logging.h"
#include "libcapture/desktopsharing/screencapture/windowenumeration.h"

WindowRecord captureWindowRecord(uintptr_t handle)
{
    if (handle != 0) {
        for (const WindowRecord& window : enumerateWindows()) {
            if (window.handle != handle) continue;
            LOG(INFO) << "ADDING WINDOW Height " << window.height << "  Width  " << window.width;
            return window;
        }
    }
    return WindowRecord{};
}
