// One monitor of the desktop, as the platform lists it.
#pragma once

#include <string>
#include <vector>

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

// The active monitors, primary first as the system orders them. Empty when
// there is no display.
std::vector<Monitor> getMonitors();

}  // namespace ScreenCaptureLib
