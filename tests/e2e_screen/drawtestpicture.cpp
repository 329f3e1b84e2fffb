// Covers the X screen with the reference picture until killed, so that a screen
// cast has known content to deliver.
//   drawtestpicture            an override-redirect window over everything
//   drawtestpicture --window   an ordinary top-level window a user could pick
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

#include "tests/e2e_screen/referencepicture.h"

int main(int argc, char** argv)
{
    const bool ordinaryWindow = argc > 1 && std::strcmp(argv[1], "--window") == 0;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "drawtestpicture: cannot open the X display\n");
        return 1;
    }
    int screen = DefaultScreen(display);
    int width = DisplayWidth(display, screen);
    int height = DisplayHeight(display, screen);
    Visual* visual = DefaultVisual(display, screen);
    if (DefaultDepth(display, screen) < 24) {
        std::fprintf(stderr, "drawtestpicture: needs a 24-bit screen\n");
        return 1;
    }

    XSetWindowAttributes attributes{};
    attributes.override_redirect = ordinaryWindow ? False : True;
    attributes.background_pixel = BlackPixel(display, screen);
    Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, width, height, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XStoreName(display, window, "drawtestpicture");
    XSelectInput(display, window, ExposureMask);
    XMapRaised(display, window);

    std::vector<uint8_t> pixels = referencePictureBgra(width, height);
    XImage* image =
        XCreateImage(display, visual, 24, ZPixmap, 0, reinterpret_cast<char*>(pixels.data()), width,
                     height, 32, width * 4);
    GC gc = XCreateGC(display, window, 0, nullptr);
    std::printf("drawtestpicture: %dx%d\n", width, height);
    std::fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == Expose && event.xexpose.count == 0) {
            XPutImage(display, window, gc, image, 0, 0, 0, 0, width, height);
            XFlush(display);
        }
    }
}
