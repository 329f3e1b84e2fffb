// The RandR monitor list of one X connection.
#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "libcapture/screencapturelib/monitor.h"

namespace ScreenCaptureLib {

std::vector<Monitor> getMonitors(Display* display);

}  // namespace ScreenCaptureLib
