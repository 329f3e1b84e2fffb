#include "libcapture/screencapturelib/windows/cursordrawing.h"

namespace ScreenCaptureLib {

bool drawCursor(HDC dc, int originX, int originY)
{
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    // A hidden cursor (flags 0) or one suppressed by touch input is not ours to draw.
    if (GetCursorInfo(&cursor) != TRUE || cursor.flags != CURSOR_SHOWING || !cursor.hCursor)
        return false;
    return DrawIconEx(dc, cursor.ptScreenPos.x - originX, cursor.ptScreenPos.y - originY,
                      cursor.hCursor, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE) != FALSE;
}

}  // namespace ScreenCaptureLib
