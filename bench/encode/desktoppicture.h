// A synthetic, moving desktop for encoder benchmarks: wallpaper gradient, a task bar,
// windows with text-like lines, one window gliding across the screen, a scrolling
// text area and a cursor. Frame n is always the same picture.
#pragma once

#include <cstdint>
#include <vector>

void drawDesktopPicture(std::vector<uint8_t>& bgra, int width, int height, int frameIndex);
