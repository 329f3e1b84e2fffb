// Capture cost per delivered frame: our process's CPU and the X server's,
// read from /proc while another process keeps changing the screen.
//   capture_bench animate                 keep repainting a full-screen window
//   capture_bench measure <seconds> <X server pid>
#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "libcapture/screencapturelib/screencapturelib.h"

namespace {

// utime + stime of a process, in milliseconds.
double cpuMilliseconds(const std::string& pid)
{
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name (which may hold spaces) start at ") ".
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) utime = std::stoull(field);
        if (index == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return (utime + stime) * 1000.0 / sysconf(_SC_CLK_TCK);
}

int animate()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, 0, 0);
    XMapRaised(display, window);
    GC gc = XCreateGC(display, window, 0, nullptr);
    // A moving bar over a full repaint: every frame differs everywhere.
    for (unsigned long step = 0;; ++step) {
        XSetForeground(display, gc, (step * 0x010203) & 0xFFFFFF);
        XFillRectangle(display, window, gc, 0, 0, width, height);
        XSetForeground(display, gc, 0xFFFFFF);
        XFillRectangle(display, window, gc, static_cast<int>((step * 16) % width), 0, 64, height);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int measure(int seconds, const std::string& serverPid, int intervalMs)
{
    std::atomic<long> frames{0};
    ScreenCaptureLib::CaptureManager manager(
        [] {
            std::vector<ScreenCaptureLib::Monitor> monitors = ScreenCaptureLib::getMonitors();
            if (!monitors.empty()) monitors.front().selected = true;
            return monitors;
        },
        [&frames](const ScreenCaptureLib::Frame& frame) {
            if (frame.width == 1920 && frame.height == 1080) ++frames;
        });
    manager.setFrameChangeInterval(std::chrono::milliseconds(intervalMs));
    manager.start();
    std::this_thread::sleep_for(std::chrono::seconds(1));  // warm-up

    const long framesBefore = frames;
    const double oursBefore = cpuMilliseconds("self");
    const double serverBefore = cpuMilliseconds(serverPid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long delivered = frames - framesBefore;
    const double ours = cpuMilliseconds("self") - oursBefore;
    const double server = cpuMilliseconds(serverPid) - serverBefore;
    std::printf(
        "frames %ld fps %.1f our_cpu_ms %.0f server_cpu_ms %.0f our_ms_per_frame %.3f "
        "total_ms_per_frame %.3f\n",
        delivered, delivered / static_cast<double>(seconds), ours, server,
        delivered ? ours / delivered : 0.0, delivered ? (ours + server) / delivered : 0.0);
    return delivered > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "animate") == 0) return animate();
    if (argc >= 4 && std::strcmp(argv[1], "measure") == 0)
        return measure(std::atoi(argv[2]), argv[3], argc >= 5 ? std::atoi(argv[4]) : 33);
    std::cerr << "usage: capture_bench animate | measure <seconds> <X server pid> [interval ms]\n";
    return 2;
}
