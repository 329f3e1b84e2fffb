#include "tests/pctvpages/programwindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

// Not this process: the window list leaves out the program's own windows.
constexpr long kOtherPid = 1;

}  // namespace

ProgramWindows::ProgramWindows() : m_display(XOpenDisplay(nullptr)) {}

ProgramWindows::~ProgramWindows()
{
    if (m_display != nullptr) {
        XCloseDisplay(asDisplay(m_display));
    }
}

uintptr_t ProgramWindows::add(const std::string& utf8Title, int left, int top, int width,
                              int height)
{
    Display* display = asDisplay(m_display);
    const Window root = DefaultRootWindow(display);
    const Window window =
        XCreateSimpleWindow(display, root, left, top, width, height, 0, 0, 0x336699);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8Title.data()),
                    static_cast<int>(utf8Title.size()));
    const long pid = kOtherPid;
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapRaised(display, window);
    m_clients.push_back(static_cast<long>(window));
    publish();
    return window;
}

void ProgramWindows::publish()
{
    Display* display = asDisplay(m_display);
    const Window root = DefaultRootWindow(display);
    XChangeProperty(display, root, XInternAtom(display, "_NET_CLIENT_LIST", False), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(m_clients.data()),
                    static_cast<int>(m_clients.size()));
    XSync(display, False);
}
