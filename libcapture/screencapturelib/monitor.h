// One monitor as the X server's RandR monitor list describes it.
#pragma once

#include <string>
#include <vector>

// Xlib's Display, declared here so that users need not see Xlib's macros.
typedef struct _XDisplay Display;

namespace ScreenCaptureLib {

struct Monitor {
    int index = 0;  // position in the list
    std::string name;
    int x = 0;  // root coordinates
    int y = 0;
    int width = 0;
    int height = 0;
    bool selected = false;  // only selected monitors are captured
};

// The active monitors, primary first as the server orders them. Empty when
// there is no display.
std::vector<Monitor> getMonitors();
std::vector<Monitor> getMonitors(Display* display);

}  // namespace ScreenCaptureLib
