// A window of the test process with a known picture: a solid background and
// marked rectangles, painted the same for WM_PAINT and (unless told not to)
// for WM_PRINTCLIENT, which is how PrintWindow asks for a covered window's
// content. It lives on its own thread with its own message loop, so that the
// capture threads can send it messages while the test thread waits.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TestWindowOptions {
    int x = 0;
    int y = 0;
    int width = 200;
    int height = 100;
    COLORREF background = RGB(32, 64, 96);
    DWORD style = WS_POPUP;
    DWORD exStyle = WS_EX_TOPMOST;
    std::string title;
    HWND owner = nullptr;
    bool answersPrintClient = true;
    bool minimised = false;  // shown minimised instead of normal
};

class TestWindow {
public:
    explicit TestWindow(TestWindowOptions options);
    ~TestWindow();  // destroys the window (if still there) and ends its thread
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND handle() const { return window_; }
    uintptr_t id() const { return reinterpret_cast<uintptr_t>(window_); }

    // Fills a rectangle of the client area (client coordinates) and repaints.
    void mark(RECT rect, COLORREF color);
    void resize(int width, int height);
    void destroy();
    // Runs `action` on the window's thread and returns when it is done.
    void onWindowThread(const std::function<void()>& action);

private:
    struct Mark {
        RECT rect;
        COLORREF color;
    };
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void run();
    void paint(HDC dc);

    TestWindowOptions options_;
    std::mutex mutex_;
    std::condition_variable created_;
    bool ready_ = false;
    HWND window_ = nullptr;
    std::vector<Mark> marks_;  // window thread only
    std::thread thread_;
};

// The colour GDI reports for a BGRA frame pixel, as an RGB() value.
COLORREF frameColor(const uint8_t* bgra, int width, int x, int y);
