// A borderless, top-most window over the whole primary monitor showing the
// reference picture of the screen end-to-end tests, so that a screen capture
// has known content. Runs its own thread and message loop.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class PictureWindow {
public:
    PictureWindow() = default;
    ~PictureWindow();
    PictureWindow(const PictureWindow&) = delete;
    PictureWindow& operator=(const PictureWindow&) = delete;

    // Returns once the window is painted (true) or could not be created (false).
    bool show();
    void close();

    int width() const { return width_; }
    int height() const { return height_; }

private:
    void run();
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HWND window);

    std::thread thread_;
    DWORD threadId_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> bgra_;

    std::mutex mutex_;
    std::condition_variable changed_;
    enum class State { Starting, Shown, Failed } state_ = State::Starting;
};
