// Window enumeration over the top-level windows, with the task switcher's
// rules: visible, not a tool window, represented by the owner chain's last
// active visible pop-up, titled, not cloaked, not one of ours. Titles come in
// the ANSI code page.
#include <windows.h>

#include <cstring>

#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "libcapture/screencapturelib/windows/windowbounds.h"

using ScreenCaptureLib::isCloaked;
using ScreenCaptureLib::visibleBounds;

namespace {

// Whether the task switcher shows `window` for its owner chain: walking from
// the root owner through the last active pop-ups, the walk stops at the first
// window whose last active pop-up is itself or visible; that window stands for
// the chain (a visible owned pop-up thus lets its owner stand).
bool isChainRepresentative(HWND window)
{
    HWND walk = GetAncestor(window, GA_ROOTOWNER);
    if (!walk) return false;
    // Owner chains are short; the bound only guards against a chain that
    // changes under the walk.
    for (int step = 0; step < 64; ++step) {
        HWND popup = GetLastActivePopup(walk);
        if (popup == walk || IsWindowVisible(popup)) break;
        walk = popup;
    }
    return walk == window;
}

void fillBounds(HWND window, WindowRecord& record)
{
    RECT bounds{};
    visibleBounds(window, bounds);  // a window gone meanwhile gives zeros
    record.handle = reinterpret_cast<uintptr_t>(window);
    record.left = bounds.left;
    record.top = bounds.top;
    record.width = bounds.right - bounds.left;
    record.height = bounds.bottom - bounds.top;
}

BOOL CALLBACK addIfProgramWindow(HWND window, LPARAM list)
{
    WindowRecord record;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // Our own windows keep a one-character title and drop out below. Reading
    // their titles would also wait on our own (possibly busy) UI thread.
    record.title[0] = '\n';
    if (process != GetCurrentProcessId())
        GetWindowTextA(window, record.title, static_cast<int>(sizeof record.title));

    if (!IsWindowVisible(window) || !isChainRepresentative(window)) return TRUE;
    if (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) return TRUE;
    if (std::strlen(record.title) < 2 || isCloaked(window)) return TRUE;

    fillBounds(window, record);
    reinterpret_cast<std::vector<WindowRecord>*>(list)->push_back(record);
    return TRUE;
}

struct Lookup {
    HWND wanted;
    std::vector<WindowRecord>* found;
};

BOOL CALLBACK addIfWanted(HWND window, LPARAM lookup)
{
    const auto* query = reinterpret_cast<const Lookup*>(lookup);
    if (window != query->wanted) return TRUE;
    WindowRecord record;
    fillBounds(window, record);
    query->found->push_back(record);
    return TRUE;
}

}  // namespace

std::vector<WindowRecord> enumerateWindows()
{
    std::vector<WindowRecord> windows;
    EnumWindows(addIfProgramWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<WindowRecord> findWindow(uintptr_t handle)
{
    std::vector<WindowRecord> found;
    Lookup lookup{reinterpret_cast<HWND>(handle), &found};
    if (lookup.wanted) EnumWindows(addIfWanted, reinterpret_cast<LPARAM>(&lookup));
    return found;
}
