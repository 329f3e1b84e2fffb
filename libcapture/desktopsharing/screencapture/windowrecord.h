// One program window as the window list and the window capture see it.
#pragma once

#include <cstdint>

struct WindowRecord {
    uintptr_t handle = 0;  // HWND on Windows, the X window id on X11
    int32_t left = 0;      // visible bounds (frame included), screen pixels
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    char title[512] = {};  // zero-terminated; UTF-8 on X11, the ANSI code page on Windows
};
