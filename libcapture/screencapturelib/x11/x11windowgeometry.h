// Where a program window is on the screen as the user sees it: the frame the
// window manager draws around it included.
#pragma once

#include <X11/Xlib.h>

namespace ScreenCaptureLib {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect& other) const
    {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
    bool intersects(const Rect& other) const
    {
        return x < other.x + other.width && other.x < x + width && y < other.y + other.height &&
               other.y < y + height;
    }
};

// The child of the root that holds `window`: the window manager's frame, or the
// window itself when nothing reparented it. None when the window is gone.
Window topLevelAncestor(Display* display, Window window);

// The visible bounds in root coordinates: the reparenting frame's rectangle, or
// the window's own rectangle grown by _NET_FRAME_EXTENTS. False when the
// window does not exist.
bool visibleBounds(Display* display, Window window, Rect& bounds);

}  // namespace ScreenCaptureLib
