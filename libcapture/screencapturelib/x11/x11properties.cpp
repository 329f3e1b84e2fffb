#include "libcapture/screencapturelib/x11/x11properties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace ScreenCaptureLib {
namespace {

// Raw property bytes; nitems counts items of the property's own format.
struct Property {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned char* data = nullptr;
    ~Property()
    {
        if (data) XFree(data);
    }
};

bool readProperty(Display* display, Window window, Atom property, Atom type, Property& out)
{
    unsigned long bytesAfter = 0;
    int status = XGetWindowProperty(display, window, property, 0, 1 << 16, False, type, &out.type,
                                    &out.format, &out.items, &bytesAfter, &out.data);
    return status == Success && out.data != nullptr && out.type != None;
}

}  // namespace

Atom internAtom(Display* display, const char* name) { return XInternAtom(display, name, False); }

std::vector<unsigned long> cardinalList(Display* display, Window window, const char* property,
                                        Atom type)
{
    Property value;
    if (!readProperty(display, window, internAtom(display, property), type, value) ||
        value.type != type || value.format != 32)
        return {};
    // Xlib hands format-32 items out as longs, sign-extended: 0xFFFFFFFF
    // ("all desktops") would otherwise read as ~0UL.
    const long* items = reinterpret_cast<const long*>(value.data);
    std::vector<unsigned long> out;
    for (unsigned long i = 0; i < value.items; ++i)
        out.push_back(static_cast<unsigned long>(items[i]) & 0xFFFFFFFFUL);
    return out;
}

bool cardinal(Display* display, Window window, const char* property, unsigned long& out)
{
    std::vector<unsigned long> items = cardinalList(display, window, property, XA_CARDINAL);
    if (items.empty()) return false;
    out = items.front();
    return true;
}

bool hasProperty(Display* display, Window window, const char* property)
{
    Property value;
    return readProperty(display, window, internAtom(display, property), AnyPropertyType, value);
}

std::string windowTitle(Display* display, Window window)
{
    Atom utf8 = internAtom(display, "UTF8_STRING");
    {
        Property value;
        if (readProperty(display, window, internAtom(display, "_NET_WM_NAME"), utf8, value) &&
            value.type == utf8 && value.format == 8)
            return std::string(reinterpret_cast<const char*>(value.data), value.items);
    }
    XTextProperty text{};
    if (!XGetWMName(display, window, &text) || !text.value) return {};
    std::string title;
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(display, &text, &list, &count) >= Success && list) {
        if (count > 0 && list[0]) title = list[0];
        XFreeStringList(list);
    }
    XFree(text.value);
    return title;
}

}  // namespace ScreenCaptureLib
