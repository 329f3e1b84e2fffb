// What the Windows capture tests share: the cursor put somewhere known (and
// its expected image), pixel comparison of BGRA frames, and waiting for a
// condition that a capture thread brings about.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

class TestWindow;

// Shows the arrow cursor at (x, y) on the desktop, `foreground` being the
// window in front (Wine reports the cursor of the foreground thread, and a
// cursor of another process cannot be drawn). False when no showing arrow is
// reported there afterwards.
bool placeArrowCursor(TestWindow& foreground, int x, int y);

// What DrawIconEx paints of the current cursor at (x, y) over a width x height
// picture of one colour: BGRA, rows packed. The reference for frames that
// must carry the cursor.
std::vector<uint8_t> pictureWithCursor(int width, int height, COLORREF background, int x, int y);
// The same over a given picture (BGRA, rows packed).
std::vector<uint8_t> pictureWithCursor(const std::vector<uint8_t>& picture, int width, int height,
                                       int x, int y);

// Pixels of `frame` that differ from `expected` inside `area` (both width wide).
int differingPixels(const uint8_t* frame, const uint8_t* expected, int width, RECT area);

// Polls `condition` until it holds or `limit` passes.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(8000));
