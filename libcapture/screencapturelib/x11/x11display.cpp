// The log first: Xlib's macros (Bool, Status, ...) break the headers it pulls in.
// clang-format off
#include "Comm/logging.h"
#include "libcapture/screencapturelib/x11/x11display.h"
// clang-format on

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>

#include "libcapture/screencapturelib/screencapturelib.h"
#include "libcapture/screencapturelib/x11/x11errortrap.h"

// A vanished X server reaches Xlib as an IO error on every connection to it.
// Xlib calls the process-wide IO error handler and then the connection's exit
// handler, whose default ends the process. Our connections (the ones opened
// here, one per capture thread or lookup) get an exit handler that returns:
// Xlib then marks that connection dead, every later request on it fails at
// once, and the threads see displayLost() and end, so the capture stops and the
// rest of the process carries on. Other connections keep Xlib's behaviour.
// Without XSetIOErrorExitHandler (libX11 before 1.7) a returning IO error
// handler would make Xlib exit anyway, so there we only log before chaining.

namespace ScreenCaptureLib {
namespace {

std::atomic<bool> lost{false};
std::mutex registryMutex;
std::set<Display*> ourDisplays;
XIOErrorHandler previousIOHandler = nullptr;

void markLost()
{
    if (lost.exchange(true)) return;
    LOG(WARNING) << "display lost: the X server went away; screen capture stopped";
    std::fputs("display lost: the X server went away; screen capture stopped\n", stderr);
}

bool isOurs(Display* display)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    return ourDisplays.count(display) > 0;
}

int onIOError(Display* display)
{
    if (!isOurs(display)) return previousIOHandler ? previousIOHandler(display) : 0;
    markLost();
#if VANTOR_HAVE_XIO_EXIT_HANDLER
    return 0;  // the connection's exit handler runs next and returns too
#else
    return previousIOHandler ? previousIOHandler(display) : 0;
#endif
}

#if VANTOR_HAVE_XIO_EXIT_HANDLER
void onConnectionExit(Display*, void*) { markLost(); }
#endif

}  // namespace

bool displayLost() { return lost.load(); }

void DisplayCloser::operator()(Display* display) const
{
    if (!display) return;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        ourDisplays.erase(display);
    }
    XCloseDisplay(display);
}

DisplayPtr openDisplay()
{
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        installErrorTrap();
        previousIOHandler = XSetIOErrorHandler(onIOError);
    });
    Display* display = XOpenDisplay(nullptr);
    if (!display) return DisplayPtr();
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        ourDisplays.insert(display);
    }
#if VANTOR_HAVE_XIO_EXIT_HANDLER
    XSetIOErrorExitHandler(display, onConnectionExit, nullptr);
#endif
    return DisplayPtr(display);
}

}  // namespace ScreenCaptureLib
