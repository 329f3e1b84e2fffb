// The monitor list on Windows: the display monitors in virtual-screen
// coordinates, the primary one first.
#include <windows.h>

#include "libcapture/screencapturelib/monitor.h"

namespace ScreenCaptureLib {
namespace {

BOOL CALLBACK addMonitor(HMONITOR handle, HDC, LPRECT, LPARAM list)
{
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(handle, &info)) return TRUE;
    Monitor monitor;
    monitor.name = info.szDevice;
    monitor.x = info.rcMonitor.left;
    monitor.y = info.rcMonitor.top;
    monitor.width = info.rcMonitor.right - info.rcMonitor.left;
    monitor.height = info.rcMonitor.bottom - info.rcMonitor.top;
    // The primary monitor goes first, as the task bar and the display settings
    // order them.
    auto* monitors = reinterpret_cast<std::vector<Monitor>*>(list);
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        monitors->insert(monitors->begin(), monitor);
    else
        monitors->push_back(monitor);
    return TRUE;
}

}  // namespace

std::vector<Monitor> getMonitors()
{
    std::vector<Monitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    for (size_t i = 0; i < monitors.size(); ++i) monitors[i].index = static_cast<int>(i);
    return monitors;
}

}  // namespace ScreenCaptureLib
