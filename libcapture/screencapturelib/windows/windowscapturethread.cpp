// The capture threads on Windows: monitors through desktop duplication where
// the system offers it and GDI otherwise, windows through PrintWindow. GDI
// frames count as new only when a pixel changed (the cursor included).

#include <windows.h>

#include <atomic>
#include <functional>

#include "Comm/logging.h"
#include "libcapture/screencapturelib/capturestate.h"
#include "libcapture/screencapturelib/windows/duplicationgrabber.h"
#include "libcapture/screencapturelib/windows/gdigrabber.h"
#include "libcapture/screencapturelib/windows/windowbounds.h"

namespace ScreenCaptureLib {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kValidationPeriod(1);

// Logs `message` the first time one of the flags is raised.
void logOnce(std::atomic<bool>& logged, const char* message)
{
    if (!logged.exchange(true)) LOG(INFO) << message;
}
std::atomic<bool> loggedGdiFallback{false};
std::atomic<bool> loggedGdiSize{false};
std::atomic<bool> loggedWindowMode{false};

// The thread draws from the desktop the user sees, which is not the one the
// process started on after a desktop switch. Restored and closed at the end.
class InputDesktop {
public:
    InputDesktop()
        : original_(GetThreadDesktop(GetCurrentThreadId())),
          desktop_(OpenInputDesktop(0, FALSE, GENERIC_ALL))
    {
        attached_ = desktop_ && SetThreadDesktop(desktop_);
    }
    ~InputDesktop()
    {
        if (attached_) SetThreadDesktop(original_);
        if (desktop_) CloseDesktop(desktop_);
    }
    bool attached() const { return attached_; }

private:
    HDESK original_;
    HDESK desktop_;
    bool attached_ = false;
};

ThreadEnd captureLoop(CaptureState& state, CaptureGrabber& grabber, Frame identity, int width,
                      int height, const std::function<bool()>& stillValid)
{
    ThreadEnd end = ThreadEnd::Stopped;
    bool force = true;
    Clock::time_point nextTick = Clock::now();
    Clock::time_point nextValidation = nextTick + kValidationPeriod;
    while (!state.stopping()) {
        if (state.waitWhilePaused()) {
            force = true;
            continue;
        }
        const auto interval =
            std::chrono::microseconds(std::max<long long>(1000, state.intervalMicroseconds.load()));
        nextTick = std::max(nextTick + interval, Clock::now());
        state.sleepUntil(nextTick);
        if (state.stopping()) break;

        if (Clock::now() >= nextValidation) {
            nextValidation = Clock::now() + kValidationPeriod;
            if (!stillValid()) {
                end = ThreadEnd::ExpectedError;
                break;
            }
        }
        std::shared_ptr<uint8_t> pixels;
        const GrabResult result = grabber.grab(force, pixels);
        state.passes.fetch_add(1);
        if (result == GrabResult::ExpectedError) {
            end = ThreadEnd::ExpectedError;
            break;
        }
        if (result == GrabResult::UnexpectedError) {
            end = ThreadEnd::UnexpectedError;
            break;
        }
        if (result == GrabResult::Unchanged) continue;
        Frame frame = identity;
        frame.data = std::move(pixels);
        frame.width = width;
        frame.height = height;
        if (state.onFrame) state.onFrame(frame);
        force = false;
    }
    return end;
}

class GdiMonitorGrabber : public CaptureGrabber {
public:
    explicit GdiMonitorGrabber(const Monitor& monitor) : monitor_(monitor) {}
    bool init() { return gdi_.init(monitor_.width, monitor_.height); }

    GrabResult grab(bool force, std::shared_ptr<uint8_t>& pixels) override
    {
        // The secure desktop refuses the copy: build again on the new desktop.
        if (!gdi_.grabScreen(monitor_.x, monitor_.y)) return GrabResult::ExpectedError;
        gdi_.drawCursor(monitor_.x, monitor_.y);
        std::shared_ptr<uint8_t> frame = gdi_.takeFrame(last_, force);
        if (!frame) return GrabResult::Unchanged;
        last_ = frame;
        pixels = std::move(frame);
        return GrabResult::Frame;
    }

private:
    Monitor monitor_;
    GdiGrabber gdi_;
    std::shared_ptr<uint8_t> last_;
};

class GdiWindowGrabber : public CaptureGrabber {
public:
    explicit GdiWindowGrabber(const WindowRecord& record)
        : window_(reinterpret_cast<HWND>(record.handle)), record_(record)
    {
    }
    bool init() { return gdi_.init(record_.width, record_.height); }

    GrabResult grab(bool force, std::shared_ptr<uint8_t>& pixels) override
    {
        // A window that went away, was minimised or changed size is captured
        // again from a new record (or not at all).
        RECT bounds{};
        if (!IsWindow(window_) || IsIconic(window_) || !visibleBounds(window_, bounds) ||
            bounds.right - bounds.left != record_.width ||
            bounds.bottom - bounds.top != record_.height)
            return GrabResult::ExpectedError;
        if (!gdi_.grabWindow(window_, bounds)) return GrabResult::ExpectedError;
        gdi_.drawCursor(bounds.left, bounds.top);
        std::shared_ptr<uint8_t> frame = gdi_.takeFrame(last_, force);
        if (!frame) return GrabResult::Unchanged;
        last_ = frame;
        pixels = std::move(frame);
        return GrabResult::Frame;
    }

private:
    HWND window_;
    WindowRecord record_;
    GdiGrabber gdi_;
    std::shared_ptr<uint8_t> last_;
};

bool monitorStillThere(const Monitor& monitor)
{
    for (const Monitor& current : getMonitors())
        if (current.x == monitor.x && current.y == monitor.y && current.width == monitor.width &&
            current.height == monitor.height)
            return true;
    return false;
}

}  // namespace

// The desktop does not go away under a Windows process the way an X server
// can; a session switch shows up as failing capture calls instead.
bool displayLost() { return false; }

ThreadEnd runMonitorCapture(CaptureState& state, const Monitor& monitor)
{
    InputDesktop desktop;
    if (!desktop.attached()) return ThreadEnd::UnexpectedError;
    if (monitor.width <= 0 || monitor.height <= 0 || !monitorStillThere(monitor))
        return ThreadEnd::ExpectedError;  // the layout changed since the list was made
    Frame identity;
    identity.monitorIndex = monitor.index;
    auto stillValid = [monitor] { return monitorStillThere(monitor); };

    // Duplication needs a mode whose sides are multiples of 4.
    if (monitor.width % 4 == 0 && monitor.height % 4 == 0) {
        DuplicationGrabber duplication(monitor);
        const HRESULT opened = duplication.open();
        if (SUCCEEDED(opened))
            return captureLoop(state, duplication, identity, monitor.width, monitor.height,
                               stillValid);
        // The secure desktop or a mode change: try again shortly.
        if (duplicationInterrupted(opened)) return ThreadEnd::ExpectedError;
        logOnce(loggedGdiFallback,
                "DirectX Desktop Duplication not supported, falling back to GDI Capturing . . .");
    } else {
        logOnce(loggedGdiSize, " GDI Capturing . ");
    }
    GdiMonitorGrabber gdi(monitor);
    if (!gdi.init()) return ThreadEnd::UnexpectedError;
    return captureLoop(state, gdi, identity, monitor.width, monitor.height, stillValid);
}

ThreadEnd runWindowCapture(CaptureState& state, const WindowRecord& window)
{
    InputDesktop desktop;
    if (!desktop.attached()) return ThreadEnd::UnexpectedError;
    const HWND handle = reinterpret_cast<HWND>(window.handle);
    RECT bounds{};
    if (!IsWindow(handle) || IsIconic(handle) || !visibleBounds(handle, bounds) ||
        bounds.right - bounds.left != window.width || bounds.bottom - bounds.top != window.height ||
        window.width <= 0 || window.height <= 0)
        return ThreadEnd::ExpectedError;
    logOnce(loggedWindowMode,
            "Window capture through PrintWindow: the window's own content is captured even "
            "where other windows cover it");
    GdiWindowGrabber gdi(window);
    if (!gdi.init()) return ThreadEnd::UnexpectedError;
    Frame identity;
    identity.window = window.handle;
    return captureLoop(state, gdi, identity, window.width, window.height, [handle, window] {
        RECT now{};
        return IsWindow(handle) && visibleBounds(handle, now) &&
               now.right - now.left == window.width && now.bottom - now.top == window.height;
    });
}

}  // namespace ScreenCaptureLib
