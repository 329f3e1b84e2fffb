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
    unsigned long serial = 0;
    std::vector<uint32_t> argb;  // premultiplied, row by row
};

// False when XFixes is missing or the server gives no cursor image.
bool readCursor(Display* display, CursorImage& cursor);

// Alpha-blends the cursor into a packed BGRA frame whose top-left corner sits
// at `origin` in root coordinates; the parts outside the frame are clipped.
void drawCursor(const CursorImage& cursor, uint8_t* frame, int width, int height, int originX,
                int originY);

}  // namespace ScreenCaptureLib
