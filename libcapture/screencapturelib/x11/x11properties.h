// Reading window properties (EWMH and ICCCM) without leaking Xlib buffers.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace ScreenCaptureLib {

Atom internAtom(Display* display, const char* name);

// Format-32 items (CARDINAL, ATOM, WINDOW) of the property; empty when the
// property is missing or of another type.
std::vector<unsigned long> cardinalList(Display* display, Window window, const char* property,
                                        Atom type);
bool cardinal(Display* display, Window window, const char* property, unsigned long& value);
bool hasProperty(Display* display, Window window, const char* property);

// The title as UTF-8: _NET_WM_NAME, else WM_NAME in whatever encoding it has.
std::string windowTitle(Display* display, Window window);

}  // namespace ScreenCaptureLib
