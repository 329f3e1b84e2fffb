// Keeps the X screen moving so that every captured frame differs from the last:
// a bar sweeps across a full-screen window and a block of noise in the corner is
// redrawn, 50 times a second. The noise keeps the encoder at its full bit rate, so
// a receiver that stops reading fills the socket buffers within seconds. Only what
// changes is drawn, so the X server stays cheap.
//   soak_animator        runs until killed
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

int main()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "soak_animator: cannot open the X display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen);
    const int height = DisplayHeight(display, screen);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // over everything, no window manager needed
    attributes.background_pixel = 0x203040;
    Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, width, height, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, window);
    GC gc = XCreateGC(display, window, 0, nullptr);
    if (DefaultDepth(display, screen) < 24) {
        std::fprintf(stderr, "soak_animator: needs a 24-bit screen\n");
        return 1;
    }
    constexpr int kNoiseWidth = 320;
    constexpr int kNoiseHeight = 240;
    std::vector<uint32_t> noise(kNoiseWidth * kNoiseHeight);
    XImage* noiseImage = XCreateImage(display, DefaultVisual(display, screen), 24, ZPixmap, 0,
                                      reinterpret_cast<char*>(noise.data()), kNoiseWidth,
                                      kNoiseHeight, 32, kNoiseWidth * 4);
    uint32_t random = 0x9E3779B9u;
    std::printf("soak_animator: %dx%d\n", width, height);
    std::fflush(stdout);

    constexpr int kBarWidth = 48;
    constexpr int kStep = 12;
    const auto period = std::chrono::milliseconds(20);
    auto next = std::chrono::steady_clock::now();
    for (unsigned long frame = 0;; ++frame) {
        const int x = static_cast<int>((frame * kStep) % static_cast<unsigned long>(width));
        // Erase the bar's trailing edge, draw its leading edge.
        XSetForeground(display, gc, 0x203040);
        XFillRectangle(display, window, gc, x - kStep < 0 ? width - kStep : x - kStep, 0, kStep,
                       height);
        XSetForeground(display, gc, 0xF0F0F0);
        XFillRectangle(display, window, gc, x, 0, kBarWidth, height);
        for (uint32_t& pixel : noise) {  // xorshift32
            random ^= random << 13;
            random ^= random >> 17;
            random ^= random << 5;
            pixel = random & 0xFFFFFF;
        }
        XPutImage(display, window, gc, noiseImage, 0, 0, 0, 0, kNoiseWidth, kNoiseHeight);
        XSync(display, False);
        next += period;
        std::this_thread::sleep_until(next);
    }
}
