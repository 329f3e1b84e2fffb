#include "tests/windows/testwindow.h"

namespace {

constexpr UINT kRunOnThread = WM_APP + 1;
constexpr const char* kClassName = "VantorTestWindow";

}  // namespace

COLORREF frameColor(const uint8_t* bgra, int width, int x, int y)
{
    const uint8_t* pixel = bgra + (static_cast<size_t>(y) * width + x) * 4;
    return RGB(pixel[2], pixel[1], pixel[0]);
}

TestWindow::TestWindow(TestWindowOptions options) : options_(std::move(options))
{
    thread_ = std::thread([this] { run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    created_.wait(lock, [this] { return ready_; });
}

TestWindow::~TestWindow()
{
    destroy();
    if (thread_.joinable()) thread_.join();
}

void TestWindow::run()
{
    static const ATOM atom = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kClassName;
        return RegisterClassA(&windowClass);
    }();
    (void)atom;
    HWND window =
        CreateWindowExA(options_.exStyle, kClassName, options_.title.c_str(), options_.style,
                        options_.x, options_.y, options_.width, options_.height, options_.owner,
                        nullptr, GetModuleHandleA(nullptr), this);
    if (window) {
        ShowWindow(window, options_.minimised ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = window;
        ready_ = true;
    }
    created_.notify_all();
    if (!window) return;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void TestWindow::onWindowThread(const std::function<void()>& action)
{
    if (window_ && IsWindow(window_))
        SendMessageA(window_, kRunOnThread, 0, reinterpret_cast<LPARAM>(&action));
}

void TestWindow::mark(RECT rect, COLORREF color)
{
    onWindowThread([&] {
        marks_.push_back({rect, color});
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_);
    });
}

void TestWindow::resize(int width, int height)
{
    onWindowThread([&] {
        SetWindowPos(window_, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_);
    });
}

void TestWindow::destroy()
{
    onWindowThread([&] { DestroyWindow(window_); });
}

void TestWindow::paint(HDC dc)
{
    RECT client{};
    GetClientRect(window_, &client);
    HBRUSH background = CreateSolidBrush(options_.background);
    FillRect(dc, &client, background);
    DeleteObject(background);
    for (const Mark& mark : marks_) {
        HBRUSH brush = CreateSolidBrush(mark.color);
        FillRect(dc, &mark.rect, brush);
        DeleteObject(brush);
    }
}

LRESULT CALLBACK TestWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case kRunOnThread:
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers every pixel
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            self->paint(dc);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            if (!self->options_.answersPrintClient) break;
            self->paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
