// A mapped top-level X window of a given size, painted in one colour. Kept apart
// so that tests need not see Xlib's macros.
#pragma once

#include <cstdint>

typedef struct _XDisplay Display;

class PlainWindow {
public:
    PlainWindow(int width, int height);  // on $DISPLAY; id() is 0 without one
    ~PlainWindow();
    PlainWindow(const PlainWindow&) = delete;
    PlainWindow& operator=(const PlainWindow&) = delete;
    uintptr_t id() const { return window_; }
    // Fills the window with one colour (0xRRGGBB) and waits until the server drew
    // it. From one thread at a time.
    void paint(uint32_t rgb);

private:
    Display* display_ = nullptr;
    uintptr_t window_ = 0;
};
