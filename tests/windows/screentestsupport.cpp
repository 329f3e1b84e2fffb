#include "tests/windows/screentestsupport.h"

#include <cstring>
#include <thread>

#include "tests/windows/testwindow.h"

bool placeArrowCursor(TestWindow& foreground, int x, int y)
{
    const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    foreground.onWindowThread([&] {
        SetForegroundWindow(foreground.handle());
        SetCursor(arrow);
    });
    SetCursorPos(x, y);
    return waitUntil([&] {
        CURSORINFO cursor{};
        cursor.cbSize = sizeof cursor;
        return GetCursorInfo(&cursor) && cursor.flags == CURSOR_SHOWING &&
               cursor.hCursor == arrow && cursor.ptScreenPos.x == x && cursor.ptScreenPos.y == y;
    });
}

std::vector<uint8_t> pictureWithCursor(const std::vector<uint8_t>& picture, int width, int height,
                                       int x, int y)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    std::memcpy(bits, picture.data(), bytes);
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    if (GetCursorInfo(&cursor) && cursor.hCursor)
        DrawIconEx(dc, x, y, cursor.hCursor, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    GdiFlush();
    std::vector<uint8_t> result(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + bytes);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return result;
}

std::vector<uint8_t> pictureWithCursor(int width, int height, COLORREF background, int x, int y)
{
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 4, 0);
    for (size_t i = 0; i < picture.size(); i += 4) {
        picture[i] = GetBValue(background);
        picture[i + 1] = GetGValue(background);
        picture[i + 2] = GetRValue(background);
    }
    return pictureWithCursor(picture, width, height, x, y);
}

int differingPixels(const uint8_t* frame, const uint8_t* expected, int width, RECT area)
{
    int differing = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const size_t at = (static_cast<size_t>(y) * width + x) * 4;
            // The fourth byte is GDI's padding, not part of the picture.
            differing += frame[at] != expected[at] || frame[at + 1] != expected[at + 1] ||
                         frame[at + 2] != expected[at + 2];
        }
    return differing;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
