#include "tests/windows/e2e/picturewindow.h"

#include <cstdio>

#include "tests/e2e_screen/referencepicture.h"

namespace {
const char kClassName[] = "VantorReferencePicture";
}

PictureWindow::~PictureWindow() { close(); }

bool PictureWindow::show()
{
    width_ = GetSystemMetrics(SM_CXSCREEN);
    height_ = GetSystemMetrics(SM_CYSCREEN);
    if (width_ <= 0 || height_ <= 0) return false;
    bgra_ = referencePictureBgra(width_, height_);
    thread_ = std::thread(&PictureWindow::run, this);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return state_ != State::Starting; });
    return state_ == State::Shown;
}

void PictureWindow::close()
{
    if (!thread_.joinable()) return;
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

void PictureWindow::run()
{
    threadId_ = GetCurrentThreadId();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &PictureWindow::windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    RegisterClassA(&windowClass);
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, "reference picture", WS_POPUP,
                        0, 0, width_, height_, nullptr, nullptr, windowClass.hInstance, this);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);  // paints before it returns
        GdiFlush();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = window ? State::Shown : State::Failed;
    }
    changed_.notify_all();
    if (!window) {
        std::fprintf(stderr, "wincast: cannot create the picture window (%lu)\n", GetLastError());
        return;
    }
    // The message queue exists since CreateWindowEx, so close()'s WM_QUIT is not lost.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyWindow(window);
}

LRESULT CALLBACK PictureWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PictureWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_PAINT && self) {
        self->paint(window);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;  // the picture covers every pixel
    return DefWindowProcA(window, message, wParam, lParam);
}

void PictureWindow::paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, width_, height_, 0, 0, 0, height_, bgra_.data(), &info,
                      DIB_RGB_COLORS);
    EndPaint(window, &paint);
}
