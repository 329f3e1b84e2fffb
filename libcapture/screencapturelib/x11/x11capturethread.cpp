// The capture threads on X11: one connection each, frames driven by XDamage and
// the pointer, grabbed through MIT-SHM where the server allows it.

#include <X11/Xlib.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

#include <atomic>

#include "libcapture/screencapturelib/capturestate.h"
#include "libcapture/screencapturelib/x11/x11cursor.h"
#include "libcapture/screencapturelib/x11/x11display.h"
#include "libcapture/screencapturelib/x11/x11errortrap.h"
#include "libcapture/screencapturelib/x11/x11grabber.h"
#include "libcapture/screencapturelib/x11/x11monitors.h"
#include "libcapture/screencapturelib/x11/x11windowgeometry.h"

namespace ScreenCaptureLib {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kValidationPeriod(1);
// An asked look starts this much earlier than the latest looks took: the
// thread's wake-up may come late on a busy machine.
constexpr std::chrono::milliseconds kLookMargin(1);
// How long a look with a grab is taken to last before one was timed.
constexpr std::chrono::milliseconds kFirstLookTime(2);

// This thread answers the consumer's asks for as long as it runs.
class AskServer {
public:
    explicit AskServer(CaptureState& state) : state_(state) { state_.serveAsks(true); }
    ~AskServer() { state_.serveAsks(false); }
    AskServer(const AskServer&) = delete;
    AskServer& operator=(const AskServer&) = delete;

private:
    CaptureState& state_;
};

// What one thread captures and how it notices that its target changed.
struct Target {
    Drawable drawable = None;  // root window or composite pixmap
    Rect area;                 // grabbed rectangle in drawable coordinates
    int originX = 0;           // root coordinates of the grabbed rectangle
    int originY = 0;
    Window damaged = None;  // window whose damage we watch
    Rect damageArea;        // in that window's coordinates
    Visual* visual = nullptr;
    int depth = 0;
    // Window capture: the client, its top-level frame and the record's size.
    Window client = None;
    Window top = None;
    Pixmap pixmap = None;
    bool followsMoves = false;  // the screen area moves with the window
};

class CaptureLoop {
public:
    CaptureLoop(CaptureState& state, Display* display, Target target, Frame identity)
        : state_(state), display_(display), target_(target), identity_(identity)
    {
    }

    ThreadEnd run(const std::function<bool()>& stillValid);

private:
    // False: an expected error (layout changed, window gone or resized).
    bool handleEvents();
    void countRequests();
    bool damageTouchesArea();

    CaptureState& state_;
    Display* display_;
    Target target_;
    Frame identity_;
    int damageEvent_ = 0;
    int randrEvent_ = 0;
    Damage damage_ = None;
    XserverRegion region_ = None;
    bool damaged_ = false;
    CursorTracker cursor_;
    unsigned long lastRequest_ = 0;
};

bool CaptureLoop::handleEvents()
{
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (cursor_.handle(event)) continue;
        if (damage_ && event.type == damageEvent_ + XDamageNotify) {
            damaged_ = true;
        } else if (randrEvent_ && event.type == randrEvent_ + RRScreenChangeNotify) {
            XRRUpdateConfiguration(&event);
            return false;
        } else if (event.type == DestroyNotify || event.type == UnmapNotify) {
            return false;
        } else if (event.type == ConfigureNotify && event.xconfigure.window == target_.top) {
            const XConfigureEvent& configure = event.xconfigure;
            const int width = configure.width + 2 * configure.border_width;
            const int height = configure.height + 2 * configure.border_width;
            if (width != target_.area.width || height != target_.area.height) return false;
            target_.originX = configure.x;
            target_.originY = configure.y;
            if (target_.followsMoves) {
                target_.area.x = configure.x;
                target_.area.y = configure.y;
                target_.damageArea = target_.area;
            }
        }
    }
    return true;
}

bool CaptureLoop::damageTouchesArea()
{
    if (!damaged_) return false;
    damaged_ = false;
    XDamageSubtract(display_, damage_, None, region_);
    int count = 0;
    XRectangle* rectangles = XFixesFetchRegion(display_, region_, &count);
    bool touches = false;
    for (int i = 0; i < count && !touches; ++i)
        touches = target_.damageArea.intersects(
            {rectangles[i].x, rectangles[i].y, rectangles[i].width, rectangles[i].height});
    if (rectangles) XFree(rectangles);
    return touches;
}

// What this thread has asked of the X server since the last count.
void CaptureLoop::countRequests()
{
    const unsigned long next = NextRequest(display_);
    state_.requests.fetch_add(next - lastRequest_);
    lastRequest_ = next;
}

ThreadEnd CaptureLoop::run(const std::function<bool()>& stillValid)
{
    // The window may vanish between any two requests (its damage object goes
    // with it); such errors must not end the process. The periodic check and a
    // failed grab tell us what happened.
    ErrorTrap threadTrap(display_);
    Grabber grabber;
    if (!grabber.init(display_, target_.visual, target_.depth, target_.area.width,
                      target_.area.height))
        return ThreadEnd::UnexpectedError;

    int errorBase = 0;
    if (XDamageQueryExtension(display_, &damageEvent_, &errorBase)) {
        damage_ = XDamageCreate(display_, target_.damaged, XDamageReportNonEmpty);
        region_ = XFixesCreateRegion(display_, nullptr, 0);
    }
    const bool haveCursor = cursor_.init(display_);
    lastRequest_ = NextRequest(display_);
    if (!target_.client) {
        int randrError = 0;
        if (XRRQueryExtension(display_, &randrEvent_, &randrError))
            XRRSelectInput(display_, DefaultRootWindow(display_), RRScreenChangeNotifyMask);
        else
            randrEvent_ = 0;
    }

    ThreadEnd end = ThreadEnd::Stopped;
    CursorImage latestCursor, shownCursor;
    bool force = true;
    Clock::time_point nextTick = Clock::now();
    Clock::time_point nextValidation = nextTick + kValidationPeriod;
    // Asked looks are timed by how long looks with a grab take: a slower one
    // moves the estimate half-way up, a quicker one an eighth down (a look done
    // late makes the video loop wait, one done early only ages the picture).
    const AskServer askServer(state_);
    uint64_t answered = 0;
    Clock::duration lookTime = kFirstLookTime;
    while (!state_.stopping()) {
        if (state_.waitWhilePaused()) {
            force = true;
            continue;
        }
        const auto interval = std::chrono::microseconds(
            std::max<long long>(1000, state_.intervalMicroseconds.load()));
        nextTick = std::max(nextTick + interval, Clock::now());
        const uint64_t answering = state_.waitForLook(nextTick, answered, lookTime + kLookMargin);
        if (state_.stopping()) break;
        const Clock::time_point lookStart = Clock::now();
        if (answering != 0) answered = answering;

        const bool eventsFine = handleEvents();
        if (displayLost()) {
            end = ThreadEnd::DisplayLost;
            break;
        }
        if (!eventsFine) {
            end = ThreadEnd::ExpectedError;
            break;
        }
        if (Clock::now() >= nextValidation) {
            nextValidation = Clock::now() + kValidationPeriod;
            if (!stillValid()) {
                end = displayLost() ? ThreadEnd::DisplayLost : ThreadEnd::ExpectedError;
                break;
            }
        }
        // Damage is always taken, so that what a forced grab shows is not
        // reported again as a change on the next tick.
        const bool damageChanged = !damage_ || damageTouchesArea();
        bool changed = force || damageChanged;
        // The pointer counts as a change when it moves or changes shape in view.
        if (haveCursor && cursor_.read(latestCursor)) {
            const Rect view{target_.originX, target_.originY, target_.area.width,
                            target_.area.height};
            const bool moved = !shownCursor.valid || !(latestCursor.area == shownCursor.area) ||
                               latestCursor.serial != shownCursor.serial;
            if (moved && (view.intersects(latestCursor.area) ||
                          (shownCursor.valid && view.intersects(shownCursor.area))))
                changed = true;
            std::swap(shownCursor, latestCursor);
        } else {
            shownCursor.valid = false;
        }
        if (!changed) {
            countRequests();
            state_.passes.fetch_add(1);
            state_.answerLook(answering);
            continue;
        }

        const int64_t grabbedAtNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count();
        std::shared_ptr<uint8_t> pixels =
            grabber.grab(target_.drawable, target_.area.x, target_.area.y);
        if (!pixels) {
            if (displayLost())
                end = ThreadEnd::DisplayLost;
            else
                end = stillValid() ? ThreadEnd::UnexpectedError : ThreadEnd::ExpectedError;
            break;
        }
        drawCursor(shownCursor, pixels.get(), target_.area.width, target_.area.height,
                   target_.originX, target_.originY);
        Frame frame = identity_;
        frame.data = std::move(pixels);
        frame.width = target_.area.width;
        frame.height = target_.area.height;
        frame.capturedNs = grabbedAtNs;
        countRequests();
        state_.grabs.fetch_add(1);
        if (state_.onFrame) state_.onFrame(frame);
        state_.passes.fetch_add(1);  // after the frame: a caller that sees it has the frame
        state_.answerLook(answering);
        force = false;
        const Clock::duration took = Clock::now() - lookStart;
        lookTime += took > lookTime ? (took - lookTime) / 2 : -(lookTime - took) / 8;
    }

    grabber.shutdown();
    ErrorTrap trap(display_);
    if (region_) XFixesDestroyRegion(display_, region_);
    if (damage_) XDamageDestroy(display_, damage_);
    return end;
}

bool monitorStillThere(Display* display, const Monitor& monitor)
{
    for (const Monitor& current : getMonitors(display))
        if (current.x == monitor.x && current.y == monitor.y && current.width == monitor.width &&
            current.height == monitor.height)
            return true;
    return false;
}

bool haveComposite(Display* display)
{
    int event = 0, error = 0, major = 0, minor = 2;
    return XCompositeQueryExtension(display, &event, &error) &&
           XCompositeQueryVersion(display, &major, &minor) && (major > 0 || minor >= 2);
}

}  // namespace

ThreadEnd runMonitorCapture(CaptureState& state, const Monitor& monitor)
{
    DisplayPtr display = openDisplay();
    if (!display) return ThreadEnd::UnexpectedError;
    Display* dpy = display.get();
    const int screen = DefaultScreen(dpy);
    const Rect screenRect{0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)};
    const Rect area{monitor.x, monitor.y, monitor.width, monitor.height};
    // A monitor that no longer fits the screen means the layout changed.
    if (area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
        area.x + area.width > screenRect.width || area.y + area.height > screenRect.height)
        return ThreadEnd::ExpectedError;

    Target target;
    target.drawable = target.damaged = DefaultRootWindow(dpy);
    target.area = target.damageArea = area;
    target.originX = area.x;
    target.originY = area.y;
    target.visual = DefaultVisual(dpy, screen);
    target.depth = DefaultDepth(dpy, screen);
    Frame identity;
    identity.monitorIndex = monitor.index;
    CaptureLoop loop(state, dpy, target, identity);
    return loop.run([dpy, monitor] { return monitorStillThere(dpy, monitor); });
}

ThreadEnd runWindowCapture(CaptureState& state, const WindowRecord& window)
{
    DisplayPtr display = openDisplay();
    if (!display) return ThreadEnd::UnexpectedError;
    Display* dpy = display.get();
    const Window client = static_cast<Window>(window.handle);
    const Window root = DefaultRootWindow(dpy);

    // The window as the record knows it; anything else is a rebuild.
    Rect bounds;
    if (!visibleBounds(dpy, client, bounds) || bounds.width != window.width ||
        bounds.height != window.height)
        return ThreadEnd::ExpectedError;
    Target target;
    target.client = client;
    target.top = topLevelAncestor(dpy, client);
    XWindowAttributes attributes{};
    {
        ErrorTrap trap(dpy);
        if (target.top == None || !XGetWindowAttributes(dpy, target.top, &attributes) ||
            trap.failed())
            return ThreadEnd::ExpectedError;
        XSelectInput(dpy, target.top, StructureNotifyMask);
        if (client != target.top) XSelectInput(dpy, client, StructureNotifyMask);
    }
    if (attributes.map_state != IsViewable) return ThreadEnd::ExpectedError;  // minimised
    const Rect frameRect{attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                         attributes.height + 2 * attributes.border_width};
    target.originX = bounds.x;
    target.originY = bounds.y;

    // The frame's own pixmap holds the window's content whatever covers it.
    const bool composite = haveComposite(dpy);
    logWindowCaptureMode(composite);
    if (composite && frameRect == bounds) {
        ErrorTrap trap(dpy);
        XCompositeRedirectWindow(dpy, target.top, CompositeRedirectAutomatic);
        target.pixmap = XCompositeNameWindowPixmap(dpy, target.top);
        if (trap.failed()) target.pixmap = None;
    }
    if (target.pixmap != None) {
        target.drawable = target.pixmap;
        target.area = {0, 0, bounds.width, bounds.height};
        target.damaged = target.top;
        target.damageArea = {-attributes.border_width, -attributes.border_width, bounds.width,
                             bounds.height};
        target.visual = attributes.visual;
        target.depth = attributes.depth;
    } else {
        // The screen area: clipped to the screen, it follows the window around.
        const int screen = DefaultScreen(dpy);
        const Rect screenRect{0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)};
        if (!bounds.intersects(screenRect)) return ThreadEnd::ExpectedError;
        target.drawable = target.damaged = root;
        target.area = bounds;
        target.followsMoves = frameRect == bounds;
        if (target.area.x < 0 || target.area.y < 0 ||
            target.area.x + target.area.width > screenRect.width ||
            target.area.y + target.area.height > screenRect.height) {
            // Partly off screen: grab only what is on it.
            const int right = std::min(target.area.x + target.area.width, screenRect.width);
            const int bottom = std::min(target.area.y + target.area.height, screenRect.height);
            target.area.x = std::max(0, target.area.x);
            target.area.y = std::max(0, target.area.y);
            target.area.width = right - target.area.x;
            target.area.height = bottom - target.area.y;
            target.followsMoves = false;
            target.originX = target.area.x;
            target.originY = target.area.y;
        }
        target.damageArea = target.area;
        target.visual = DefaultVisual(dpy, screen);
        target.depth = DefaultDepth(dpy, screen);
    }

    Frame identity;
    identity.window = window.handle;
    CaptureLoop loop(state, dpy, target, identity);
    ThreadEnd end = loop.run([dpy, client, window] {
        Rect now;
        return visibleBounds(dpy, client, now) && now.width == window.width &&
               now.height == window.height;
    });
    if (target.pixmap != None) {
        ErrorTrap trap(dpy);
        XFreePixmap(dpy, target.pixmap);
        XCompositeUnredirectWindow(dpy, target.top, CompositeRedirectAutomatic);
    }
    return end;
}

}  // namespace ScreenCaptureLib
