// Window enumeration over the EWMH client list the window manager maintains.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "libcapture/screencapturelib/x11/x11display.h"
#include "libcapture/screencapturelib/x11/x11errortrap.h"
#include "libcapture/screencapturelib/x11/x11properties.h"
#include "libcapture/screencapturelib/x11/x11windowgeometry.h"

using namespace ScreenCaptureLib;

namespace {

constexpr unsigned long kAllDesktops = 0xFFFFFFFF;

// Window types that never stand for a program in a task switcher.
const char* const kHiddenTypes[] = {
    "_NET_WM_WINDOW_TYPE_UTILITY",       "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_DESKTOP",       "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU",          "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",       "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_COMBO",         "_NET_WM_WINDOW_TYPE_DND"};

bool contains(const std::vector<unsigned long>& items, unsigned long value)
{
    return std::find(items.begin(), items.end(), value) != items.end();
}

// Managed clients bottom to top; without a window manager, the mapped
// top-level windows.
std::vector<unsigned long> clientsBottomUp(Display* display, Window root)
{
    std::vector<unsigned long> clients =
        cardinalList(display, root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
    if (!clients.empty()) return clients;
    clients = cardinalList(display, root, "_NET_CLIENT_LIST", XA_WINDOW);
    if (!clients.empty()) return clients;

    Window rootReturn = None, parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) && children) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable && !attributes.override_redirect &&
                attributes.c_class == InputOutput)
                clients.push_back(children[i]);
        }
        XFree(children);
    }
    return clients;
}

bool qualifies(Display* display, Window window, unsigned long currentDesktop,
               bool knowCurrentDesktop, std::string& title)
{
    unsigned long pid = 0;
    if (cardinal(display, window, "_NET_WM_PID", pid) &&
        pid == static_cast<unsigned long>(getpid()))
        return false;

    std::vector<unsigned long> state = cardinalList(display, window, "_NET_WM_STATE", XA_ATOM);
    if (contains(state, internAtom(display, "_NET_WM_STATE_SKIP_TASKBAR"))) return false;

    std::vector<unsigned long> types =
        cardinalList(display, window, "_NET_WM_WINDOW_TYPE", XA_ATOM);
    for (const char* hidden : kHiddenTypes)
        if (contains(types, internAtom(display, hidden))) return false;

    unsigned long desktop = 0;
    if (knowCurrentDesktop && cardinal(display, window, "_NET_WM_DESKTOP", desktop) &&
        desktop != kAllDesktops && desktop != currentDesktop)
        return false;

    title = windowTitle(display, window);
    return title.size() >= 2;
}

WindowRecord makeRecord(Window window, const Rect& bounds)
{
    WindowRecord record;
    record.handle = window;
    record.left = bounds.x;
    record.top = bounds.y;
    record.width = bounds.width;
    record.height = bounds.height;
    return record;
}

// Copies at most 511 bytes without cutting a UTF-8 sequence in half.
void copyTitle(const std::string& title, char (&out)[512])
{
    size_t length = std::min(title.size(), sizeof(out) - 1);
    if (length < title.size())
        while (length > 0 && (static_cast<unsigned char>(title[length]) & 0xC0) == 0x80) --length;
    std::memcpy(out, title.data(), length);
    out[length] = '\0';
}

}  // namespace

std::vector<WindowRecord> enumerateWindows()
{
    std::vector<WindowRecord> records;
    DisplayPtr display = openDisplay();
    if (!display) return records;
    Display* dpy = display.get();
    Window root = DefaultRootWindow(dpy);
    ErrorTrap trap(dpy);  // clients may close while we look at them

    unsigned long currentDesktop = 0;
    bool knowCurrentDesktop = cardinal(dpy, root, "_NET_CURRENT_DESKTOP", currentDesktop);
    std::vector<unsigned long> clients = clientsBottomUp(dpy, root);
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
        Window window = static_cast<Window>(*it);
        std::string title;
        Rect bounds;
        if (!qualifies(dpy, window, currentDesktop, knowCurrentDesktop, title)) continue;
        if (!visibleBounds(dpy, window, bounds)) continue;
        WindowRecord record = makeRecord(window, bounds);
        copyTitle(title, record.title);
        records.push_back(record);
    }
    return records;
}

std::vector<WindowRecord> findWindow(uintptr_t handle)
{
    std::vector<WindowRecord> records;
    if (handle == 0) return records;
    DisplayPtr display = openDisplay();
    if (!display) return records;
    Display* dpy = display.get();
    Window window = static_cast<Window>(handle);
    Window root = DefaultRootWindow(dpy);
    if (window == root) return records;
    ErrorTrap trap(dpy);  // the window may close between any two requests

    // A top-level client: a child of the root, or a window the manager manages.
    Window top = topLevelAncestor(dpy, window);
    if (top == None) return records;
    bool managed = top == window || hasProperty(dpy, window, "WM_STATE") ||
                   contains(cardinalList(dpy, root, "_NET_CLIENT_LIST", XA_WINDOW), window);
    Rect bounds;
    if (managed && visibleBounds(dpy, window, bounds) && !trap.failed())
        records.push_back(makeRecord(window, bounds));
    return records;
}
