// The pointer as the user sees it, drawn into captured frames.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "libcapture/screencapturelib/x11/x11windowgeometry.h"

namespace ScreenCaptureLib {

struct CursorImage {
    bool valid = false;
    Rect area;  // root coordinates of the image's top-left corner (hot spot applied)
    int hotX = 0;
    int hotY = 0;
    unsigned long serial = 0;
    std::vector<uint32_t> argb;  // premultiplied, row by row
};

// False when XFixes is missing or the server gives no cursor image.
bool readCursor(Display* display, CursorImage& cursor);

// Follows the pointer for one capture thread. The image (a few kilobytes) is
// fetched only when XFixes reports a new shape; between shapes one small
// pointer query a look gives the position.
class CursorTracker {
public:
    // Asks for shape notifications on the root window; false without XFixes.
    bool init(Display* display);
    // True when the event was a shape notification (it is consumed then).
    bool handle(const XEvent& event);
    // The pointer as it is now; false when there is none to draw.
    bool read(CursorImage& cursor);

private:
    Display* display_ = nullptr;
    int eventBase_ = -1;
    bool shapeChanged_ = true;
    CursorImage shape_;
};

// Alpha-blends the cursor into a packed BGRA frame whose top-left corner sits
// at `origin` in root coordinates; the parts outside the frame are clipped.
void drawCursor(const CursorImage& cursor, uint8_t* frame, int width, int height, int originX,
                int originY);

}  // namespace ScreenCaptureLib
