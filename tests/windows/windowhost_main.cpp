// Helper of the window list tests: a process of its own with the windows the
// arguments ask for, since the list leaves out the asking process's windows.
//   test_win_windowhost KIND=TITLE...
// KIND: normal, tool (WS_EX_TOOLWINDOW), owner (a normal window that the next
// popup belongs to), popup (visible, owned by the last owner, active),
// hidden, minimised. Prints "KIND HANDLE" (hex) per window, then "ready", and
// ends when its standard input closes.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI waitForInputEnd(LPVOID mainThread)
{
    char buffer[64];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
           read > 0) {
    }
    PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<uintptr_t>(mainThread)), WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = "VantorWindowHost";
    RegisterClassA(&windowClass);

    HWND owner = nullptr;
    int offset = 0;
    for (int i = 1; i < argc; ++i) {
        const char* equals = std::strchr(argv[i], '=');
        if (!equals) return 2;
        const std::string kind(argv[i], static_cast<size_t>(equals - argv[i]));
        const char* title = equals + 1;
        DWORD style = WS_OVERLAPPEDWINDOW, exStyle = 0;
        HWND parent = nullptr;
        int show = SW_SHOWNOACTIVATE;
        if (kind == "tool") {
            exStyle = WS_EX_TOOLWINDOW;
        } else if (kind == "popup") {
            style = WS_POPUP | WS_CAPTION;
            parent = owner;
            show = SW_SHOW;
        } else if (kind == "hidden") {
            show = SW_HIDE;
        } else if (kind == "minimised") {
            show = SW_SHOWMINNOACTIVE;
        } else if (kind != "normal" && kind != "owner") {
            return 2;
        }
        offset += 20;
        HWND window = CreateWindowExA(exStyle, windowClass.lpszClassName, title, style,
                                      100 + offset, 80 + offset, 320 + offset, 200, parent, nullptr,
                                      windowClass.hInstance, nullptr);
        if (!window) return 1;
        ShowWindow(window, show);
        if (kind == "popup") SetActiveWindow(window);
        if (kind == "owner") owner = window;
        std::printf("%s %llx\n", kind.c_str(),
                    static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    }
    std::printf("ready\n");
    std::fflush(stdout);

    CreateThread(nullptr, 0, waitForInputEnd,
                 reinterpret_cast<LPVOID>(static_cast<uintptr_t>(GetCurrentThreadId())), 0,
                 nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
