// The program windows a user would pick in a task switcher, and the current
// record of one given window.
#pragma once

#include <cstdint>
#include <vector>

#include "libcapture/desktopsharing/screencapture/windowrecord.h"

// Qualifying windows, top of the stacking order first, with UTF-8 titles on
// X11 and titles in the ANSI code page on Windows.
std::vector<WindowRecord> enumerateWindows();

// One record (title all zeros) when `handle` is an existing top-level program
// window, otherwise an empty list.
std::vector<WindowRecord> findWindow(uintptr_t handle);
