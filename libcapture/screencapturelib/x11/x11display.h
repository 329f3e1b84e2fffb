// One Xlib connection per capture thread: Xlib is not safe to share between
// threads, and a private connection also keeps each thread's events apart.
#pragma once

#include <X11/Xlib.h>

#include <memory>

namespace ScreenCaptureLib {

struct DisplayCloser {
    void operator()(Display* display) const;
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Opens the display named by $DISPLAY; null when there is none. The first call
// also prepares Xlib for threads and installs the per-thread error trap and
// the handler for a lost connection (see displayLost()).
DisplayPtr openDisplay();

}  // namespace ScreenCaptureLib
