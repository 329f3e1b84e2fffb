#include <algorithm>
#include <cstdlib>

#include "libcapture/desktopsharing/testsources/testpatternsource.h"

namespace FrameNumberCode {

int blockSize(int pictureWidth)
{
    int size = pictureWidth / kBits / 8 * 8;
    return std::clamp(size, 16, 32);
}

static void fillBlock(uint8_t* bgra, int width, int height, int x0, int y0, int size, uint8_t value)
{
    for (int y = y0; y < std::min(y0 + size, height); ++y) {
        uint8_t* row = bgra + (static_cast<size_t>(y) * width + x0) * 4;
        for (int x = 0; x < size && x0 + x < width; ++x) {
            row[x * 4 + 0] = value;
            row[x * 4 + 1] = value;
            row[x * 4 + 2] = value;
            row[x * 4 + 3] = 255;
        }
    }
}

void draw(uint8_t* bgra, int width, int height, uint32_t number)
{
    int size = blockSize(width);
    for (int bit = 0; bit < kBits && (bit + 1) * size <= width; ++bit) {
        bool one = (number >> (kBits - 1 - bit)) & 1u;
        fillBlock(bgra, width, height, bit * size, 0, size, one ? 255 : 0);
        fillBlock(bgra, width, height, bit * size, size, size, one ? 0 : 255);
    }
}

}  // namespace FrameNumberCode

// Mean of the central half of one block; the block edges blur most under H.264.
static int blockMean(const uint8_t* picture, int stride, int bytesPerPixel, int x0, int y0,
                     int size)
{
    int margin = size / 4;
    int sum = 0, count = 0;
    int channel = bytesPerPixel == 4 ? 1 : 0;
    for (int y = y0 + margin; y < y0 + size - margin; ++y)
        for (int x = x0 + margin; x < x0 + size - margin; ++x) {
            sum += picture[static_cast<size_t>(y) * stride + x * bytesPerPixel + channel];
            ++count;
        }
    return count ? sum / count : 0;
}

int64_t decodeFrameNumber(const uint8_t* picture, int width, int height, int stride,
                          int bytesPerPixel)
{
    using namespace FrameNumberCode;
    if (!picture || (bytesPerPixel != 1 && bytesPerPixel != 4)) return -1;
    int size = blockSize(width);
    if (width < kBits * size || height < 2 * size) return -1;
    uint32_t number = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        int plain = blockMean(picture, stride, bytesPerPixel, bit * size, 0, size);
        int inverted = blockMean(picture, stride, bytesPerPixel, bit * size, size, size);
        if (std::abs(plain - inverted) < 64) return -1;
        number = (number << 1) | (plain > inverted ? 1u : 0u);
    }
    return number;
}
