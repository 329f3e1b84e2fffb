// The window record the capture starts from for capture mode 2.
#pragma once

#include <cstdint>

#include "libcapture/desktopsharing/screencapture/windowrecord.h"

// The current record of the program window `handle`, or an all-zero record when
// the handle is 0 or no longer names a program window.
WindowRecord captureWindowRecord(uintptr_t handle);
