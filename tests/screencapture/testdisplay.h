// A test's own X client: draws windows and sets the properties a window manager
// would set, so that capture and enumeration see a known desktop.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TestDisplay {
public:
    TestDisplay() : display(XOpenDisplay(nullptr)), root(display ? DefaultRootWindow(display) : 0)
    {
    }
    ~TestDisplay()
    {
        if (display) XCloseDisplay(display);
    }

    Window createWindow(int x, int y, int width, int height, unsigned long rgb, Window parent = 0,
                        bool map = true)
    {
        Window window =
            XCreateSimpleWindow(display, parent ? parent : root, x, y, width, height, 0, 0, rgb);
        if (map) XMapRaised(display, window);
        fill(window, 0, 0, width, height, rgb);
        return window;
    }

    void fill(Window window, int x, int y, int width, int height, unsigned long rgb)
    {
        GC gc = XCreateGC(display, window, 0, nullptr);
        XSetForeground(display, gc, rgb);
        XFillRectangle(display, window, gc, x, y, width, height);
        XFreeGC(display, gc);
        XSync(display, False);
    }

    Atom atom(const char* name) { return XInternAtom(display, name, False); }

    void setCardinals(Window window, const char* property, Atom type,
                      const std::vector<long>& values)
    {
        XChangeProperty(display, window, atom(property), type, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(values.data()),
                        static_cast<int>(values.size()));
    }

    void setAtoms(Window window, const char* property, const std::vector<const char*>& names)
    {
        std::vector<long> atoms;
        for (const char* name : names) atoms.push_back(static_cast<long>(atom(name)));
        setCardinals(window, property, XA_ATOM, atoms);
    }

    void setUtf8(Window window, const char* property, const std::string& text)
    {
        XChangeProperty(display, window, atom(property), atom("UTF8_STRING"), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
    }

    void setLatin1Name(Window window, const std::string& latin1)
    {
        XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(latin1.data()),
                        static_cast<int>(latin1.size()));
    }

    void movePointer(int x, int y)
    {
        XWarpPointer(display, None, root, 0, 0, 0, 0, x, y);
        XSync(display, False);
    }

    void sync() { XSync(display, False); }

    Display* display;
    Window root;
};

// Blue, green, red of one pixel of a packed BGRA frame, as 0xRRGGBB.
inline unsigned long rgbAt(const uint8_t* frame, int width, int x, int y)
{
    const uint8_t* pixel = frame + (static_cast<size_t>(y) * width + x) * 4;
    return (static_cast<unsigned long>(pixel[2]) << 16) | (pixel[1] << 8) | pixel[0];
}

// Waits (bounded) until `done` holds under the lock; false on timeout.
template <typename Predicate>
bool waitUntil(std::mutex& mutex, std::condition_variable& changed, Predicate done,
               std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, done);
}
