// Keeps Wine's desktop up for a whole test session (scripts/wine-session.sh
// starts it, and ends it with the session's wineserver). Wine's desktop program,
// explorer.exe, ends about a second after the last program that uses the
// desktop; the next test then starts it anew as a child of its own, and CTest
// waits until that child has ended too, since it holds the test's output: more
// than a second per test. This program uses the desktop for the whole session
// with a message-only window, which no window list shows and no capture sees.
#include <windows.h>

int main()
{
    HWND window = CreateWindowExA(0, "STATIC", "vantor wine desktop keeper", 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
