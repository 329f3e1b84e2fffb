// Xlib reports protocol errors through one process-wide handler whose default
// ends the process. Our requests on windows that may vanish at any moment run
// inside an ErrorTrap instead, which records the error for the calling thread
// (every thread owns its own Display, so errors arrive on the thread that
// caused them).
#pragma once

#include <X11/Xlib.h>

namespace ScreenCaptureLib {

void installErrorTrap();

class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server to process every request so far; true when one of
    // them failed since the trap was set.
    bool failed();
    int errorCode() const;

private:
    Display* display_;
    int savedError_;
};

}  // namespace ScreenCaptureLib
