#include "libcapture/screencapturelib/x11/x11cursor.h"

#include <X11/extensions/Xfixes.h>

#include <algorithm>

namespace ScreenCaptureLib {

bool readCursor(Display* display, CursorImage& cursor)
{
    cursor.valid = false;
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image) return false;
    cursor.area = {image->x - image->xhot, image->y - image->yhot, image->width, image->height};
    cursor.hotX = image->xhot;
    cursor.hotY = image->yhot;
    cursor.serial = image->cursor_serial;
    const size_t count = static_cast<size_t>(image->width) * image->height;
    cursor.argb.resize(count);
    // XFixes hands 32-bit pixels out in longs, whatever the size of long.
    for (size_t i = 0; i < count; ++i) cursor.argb[i] = static_cast<uint32_t>(image->pixels[i]);
    XFree(image);
    cursor.valid = count > 0;
    return cursor.valid;
}

bool CursorTracker::init(Display* display)
{
    display_ = display;
    int errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase_, &errorBase)) {
        eventBase_ = -1;
        return false;
    }
    XFixesSelectCursorInput(display, DefaultRootWindow(display), XFixesDisplayCursorNotifyMask);
    return true;
}

bool CursorTracker::handle(const XEvent& event)
{
    if (eventBase_ < 0 || event.type != eventBase_ + XFixesCursorNotify) return false;
    shapeChanged_ = true;
    return true;
}

bool CursorTracker::read(CursorImage& cursor)
{
    if (eventBase_ < 0) return false;
    if (shapeChanged_) {
        shapeChanged_ = false;
        readCursor(display_, shape_);
    } else if (shape_.valid) {
        Window root = None, child = None;
        int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
        unsigned int buttons = 0;
        if (!XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rootX, &rootY,
                           &windowX, &windowY, &buttons))
            return false;  // on another screen
        shape_.area.x = rootX - shape_.hotX;
        shape_.area.y = rootY - shape_.hotY;
    }
    if (!shape_.valid) return false;
    // The pixels are copied only for a new shape (a serial names one shape).
    if (!cursor.valid || cursor.serial != shape_.serial || cursor.argb.size() != shape_.argb.size())
        cursor.argb = shape_.argb;
    cursor.valid = true;
    cursor.area = shape_.area;
    cursor.hotX = shape_.hotX;
    cursor.hotY = shape_.hotY;
    cursor.serial = shape_.serial;
    return true;
}

void drawCursor(const CursorImage& cursor, uint8_t* frame, int width, int height, int originX,
                int originY)
{
    if (!cursor.valid) return;
    const int left = cursor.area.x - originX;
    const int top = cursor.area.y - originY;
    const int firstColumn = std::max(0, -left);
    const int lastColumn = std::min(cursor.area.width, width - left);
    const int firstRow = std::max(0, -top);
    const int lastRow = std::min(cursor.area.height, height - top);
    for (int row = firstRow; row < lastRow; ++row) {
        const uint32_t* source = cursor.argb.data() + static_cast<size_t>(row) * cursor.area.width;
        uint8_t* target = frame + (static_cast<size_t>(top + row) * width + left) * 4;
        for (int column = firstColumn; column < lastColumn; ++column) {
            const uint32_t pixel = source[column];
            const uint32_t alpha = pixel >> 24;
            if (alpha == 0) continue;
            uint8_t* out = target + column * 4;
            const uint32_t keep = 255 - alpha;
            // Premultiplied: result = cursor + frame * (1 - alpha), clamped
            // for images that break the premultiplication rule.
            for (int channel = 0; channel < 3; ++channel) {
                const uint32_t value =
                    ((pixel >> (8 * channel)) & 0xFF) + (out[channel] * keep + 127) / 255;
                out[channel] = static_cast<uint8_t>(std::min<uint32_t>(value, 255));
            }
        }
    }
}

}  // namespace ScreenCaptureLib
