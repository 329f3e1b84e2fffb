// Program windows of "another process" on the test's X server, published in the
// EWMH client list the way a window manager would, so that the window list the
// content choice offers contains them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ProgramWindows {
public:
    ProgramWindows();
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    bool isValid() const { return m_display != nullptr; }
    // A mapped window titled `utf8Title` (_NET_WM_NAME), added on top of the client list.
    uintptr_t add(const std::string& utf8Title, int left, int top, int width, int height);

private:
    void publish();

    void* m_display = nullptr;  // Display*
    std::vector<long> m_clients;
};
