// The picture the screen end-to-end test puts on the X server and expects back
// from the receiver's recording: smooth gradients and flat blocks, the kind of
// content a desktop shows, with no noise that a live encoder could not keep.
#pragma once

#include <cstdint>
#include <vector>

inline std::vector<uint8_t> referencePictureBgra(int width, int height)
{
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
            int r = x * 255 / width;
            int g = y * 255 / height;
            int b = 128;
            // A grid of flat "windows" with darker title bars.
            int cx = x % 480, cy = y % 360;
            if (cx > 40 && cx < 440 && cy > 40 && cy < 320) {
                int shade = ((x / 480) * 3 + (y / 360) * 5) % 7;
                r = 40 + shade * 30;
                g = 200 - shade * 20;
                b = 90 + shade * 22;
                if (cy < 70) r = g = b = 50 + shade * 10;
            }
            p[0] = static_cast<uint8_t>(b);
            p[1] = static_cast<uint8_t>(g);
            p[2] = static_cast<uint8_t>(r);
            p[3] = 255;
        }
    }
    return bgra;
}
