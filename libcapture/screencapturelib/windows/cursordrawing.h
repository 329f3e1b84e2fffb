// The mouse cursor as GDI draws it into a captured picture.
#pragma once

#include <windows.h>

namespace ScreenCaptureLib {

// Draws the cursor into `dc`, whose (0, 0) shows the desktop point (originX,
// originY): its top-left corner at the cursor position (DrawIconEx, DI_NORMAL |
// DI_DEFAULTSIZE), clipped by the DC. Only a showing cursor is drawn; true when
// one was.
bool drawCursor(HDC dc, int originX, int originY);

}  // namespace ScreenCaptureLib
