#include "libcapture/screencapturelib/x11/x11monitors.h"

#include <X11/extensions/Xrandr.h>

#include "libcapture/screencapturelib/x11/x11display.h"

namespace ScreenCaptureLib {

std::vector<Monitor> getMonitors()
{
    DisplayPtr display = openDisplay();
    return display ? getMonitors(display.get()) : std::vector<Monitor>{};
}

std::vector<Monitor> getMonitors(Display* display)
{
    std::vector<Monitor> monitors;
    Window root = DefaultRootWindow(display);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    bool haveMonitors = XRRQueryExtension(display, &eventBase, &errorBase) &&
                        XRRQueryVersion(display, &major, &minor) &&
                        (major > 1 || (major == 1 && minor >= 5));
    int count = 0;
    XRRMonitorInfo* list = haveMonitors ? XRRGetMonitors(display, root, True, &count) : nullptr;
    for (int i = 0; i < count; ++i) {
        Monitor monitor;
        monitor.index = i;
        char* name = XGetAtomName(display, list[i].name);
        if (name) {
            monitor.name = name;
            XFree(name);
        }
        monitor.x = list[i].x;
        monitor.y = list[i].y;
        monitor.width = list[i].width;
        monitor.height = list[i].height;
        monitors.push_back(monitor);
    }
    if (list) XRRFreeMonitors(list);

    // Servers without RandR 1.5 still have the one screen.
    if (monitors.empty()) {
        Monitor screen;
        screen.name = "screen";
        screen.width = DisplayWidth(display, DefaultScreen(display));
        screen.height = DisplayHeight(display, DefaultScreen(display));
        monitors.push_back(screen);
    }
    return monitors;
}

}  // namespace ScreenCaptureLib
