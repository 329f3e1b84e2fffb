#include "libcapture/screencapturelib/x11display.h"

#include <mutex>

#include "libcapture/screencapturelib/x11errortrap.h"

namespace ScreenCaptureLib {

void DisplayCloser::operator()(Display* display) const
{
    if (display) XCloseDisplay(display);
}

DisplayPtr openDisplay()
{
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        installErrorTrap();
    });
    return DisplayPtr(XOpenDisplay(nullptr));
}

}  // namespace ScreenCaptureLib
