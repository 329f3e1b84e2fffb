#include "bench/encode/desktoppicture.h"

#include <algorithm>

namespace {

struct Canvas {
    std::vector<uint8_t>& bgra;
    int width;
    int height;

    void fill(int left, int top, int w, int h, uint8_t b, uint8_t g, uint8_t r)
    {
        const int x0 = std::max(left, 0), x1 = std::min(left + w, width);
        const int y0 = std::max(top, 0), y1 = std::min(top + h, height);
        for (int y = y0; y < y1; ++y) {
            uint8_t* row = bgra.data() + (static_cast<size_t>(y) * width + x0) * 4;
            for (int x = x0; x < x1; ++x, row += 4) {
                row[0] = b;
                row[1] = g;
                row[2] = r;
                row[3] = 0xFF;
            }
        }
    }

    // Rows of dark "words" of varying length, the texture text gives a real screen.
    void text(int left, int top, int w, int h, int seed)
    {
        for (int line = 0; top + line * 18 + 12 < top + h; ++line) {
            int x = left + 8;
            for (int word = 0; x < left + w - 40; ++word) {
                const int length = 12 + ((seed + line * 31 + word * 17) * 2654435761u >> 27);
                fill(x, top + line * 18 + 4, std::min(length, left + w - 8 - x), 9, 40, 40, 40);
                x += length + 7;
            }
        }
    }

    void window(int left, int top, int w, int h, int seed, uint8_t titleB, uint8_t titleG,
                uint8_t titleR)
    {
        fill(left - 1, top - 1, w + 2, h + 2, 90, 90, 90);
        fill(left, top, w, 30, titleB, titleG, titleR);
        fill(left, top + 30, w, h - 30, 250, 250, 250);
        text(left, top + 36, w, h - 40, seed);
    }
};

}  // namespace

void drawDesktopPicture(std::vector<uint8_t>& bgra, int width, int height, int frameIndex)
{
    bgra.resize(static_cast<size_t>(width) * height * 4);
    Canvas canvas{bgra, width, height};
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bgra.data() + static_cast<size_t>(y) * width * 4;
        const auto shade = static_cast<uint8_t>(60 + 120 * y / height);
        for (int x = 0; x < width; ++x, row += 4) {
            row[0] = static_cast<uint8_t>(shade + 40);
            row[1] = static_cast<uint8_t>(shade / 2 + x * 40 / width);
            row[2] = 30;
            row[3] = 0xFF;
        }
    }
    canvas.fill(0, height - 40, width, 40, 50, 45, 40);  // task bar
    canvas.window(width / 10, height / 12, width / 2, height / 2, 1, 200, 120, 40);
    // The scrolling document: its text moves up by one line every other frame.
    canvas.window(width / 2, height / 3, width * 2 / 5, height / 2, 7 + frameIndex / 2, 60, 60, 60);
    // A window being dragged across the screen.
    const int travel = width - width / 3;
    const int x = (frameIndex * 6) % travel;
    canvas.window(x, height / 5 + (frameIndex % 50), width / 3, height / 3, 3, 40, 140, 200);
    // Cursor.
    canvas.fill(x + width / 6, height / 5 + 15 + (frameIndex % 50), 12, 18, 255, 255, 255);
}
