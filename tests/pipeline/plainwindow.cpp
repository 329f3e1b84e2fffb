#include "tests/pipeline/plainwindow.h"

#include <X11/Xlib.h>

PlainWindow::PlainWindow(int width, int height)
{
    display_ = XOpenDisplay(nullptr);
    if (!display_) return;
    const int screen = DefaultScreen(display_);
    const Window window = XCreateSimpleWindow(display_, RootWindow(display_, screen), 10, 10, width,
                                              height, 0, 0, 0x3070c0);
    XStoreName(display_, window, "plain window");
    XSelectInput(display_, window, StructureNotifyMask);
    XMapRaised(display_, window);
    // Captured only once it is on the screen.
    for (XEvent event; XNextEvent(display_, &event) == 0;)
        if (event.type == MapNotify && event.xmap.window == window) break;
    XClearWindow(display_, window);
    XSync(display_, False);
    window_ = window;
}

PlainWindow::~PlainWindow()
{
    if (display_) XCloseDisplay(display_);
}

void PlainWindow::paint(uint32_t rgb)
{
    if (!display_ || !window_) return;
    XSetWindowBackground(display_, window_, rgb);
    XClearWindow(display_, window_);
    XSync(display_, False);
}
