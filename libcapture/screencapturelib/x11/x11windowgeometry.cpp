#include "libcapture/screencapturelib/x11/x11windowgeometry.h"

#include <X11/Xatom.h>

#include <vector>

#include "libcapture/screencapturelib/x11/x11errortrap.h"
#include "libcapture/screencapturelib/x11/x11properties.h"

namespace ScreenCaptureLib {

Window topLevelAncestor(Display* display, Window window)
{
    ErrorTrap trap(display);
    Window current = window;
    for (int depth = 0; depth < 64; ++depth) {
        Window root = None, parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count)) return None;
        if (children) XFree(children);
        if (current == root) return None;
        if (parent == root) return current;
        current = parent;
    }
    return None;
}

bool visibleBounds(Display* display, Window window, Rect& bounds)
{
    Window top = topLevelAncestor(display, window);
    if (top == None) return false;
    ErrorTrap trap(display);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, top, &attributes) || trap.failed()) return false;
    // The root's direct children carry root coordinates; borders are drawn outside.
    bounds = {attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
              attributes.height + 2 * attributes.border_width};
    if (top != window) return true;

    std::vector<unsigned long> extents =
        cardinalList(display, window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
    if (extents.size() == 4) {  // left, right, top, bottom
        bounds.x -= static_cast<int>(extents[0]);
        bounds.y -= static_cast<int>(extents[2]);
        bounds.width += static_cast<int>(extents[0] + extents[1]);
        bounds.height += static_cast<int>(extents[2] + extents[3]);
    }
    return !trap.failed();
}

}  // namespace ScreenCaptureLib
