#include "libcapture/screencapturelib/x11/x11errortrap.h"

#include <mutex>

namespace ScreenCaptureLib {
namespace {

thread_local int trapDepth = 0;
thread_local int trappedError = 0;
XErrorHandler previousHandler = nullptr;

int onXError(Display* display, XErrorEvent* event)
{
    if (trapDepth > 0) {
        if (trappedError == 0) trappedError = event->error_code;
        return 0;
    }
    return previousHandler ? previousHandler(display, event) : 0;
}

}  // namespace

void installErrorTrap()
{
    static std::once_flag once;
    std::call_once(once, [] { previousHandler = XSetErrorHandler(onXError); });
}

ErrorTrap::ErrorTrap(Display* display) : display_(display), savedError_(trappedError)
{
    installErrorTrap();
    XSync(display_, False);  // earlier errors belong to whoever caused them
    ++trapDepth;
    trappedError = 0;
}

ErrorTrap::~ErrorTrap()
{
    XSync(display_, False);
    --trapDepth;
    if (trapDepth > 0 && savedError_ != 0) trappedError = savedError_;
}

bool ErrorTrap::failed()
{
    XSync(display_, False);
    return trappedError != 0;
}

int ErrorTrap::errorCode() const { return trappedError; }

}  // namespace ScreenCaptureLib
