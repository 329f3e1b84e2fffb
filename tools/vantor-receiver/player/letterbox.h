// Where a picture goes in a window: as large as fits, aspect ratio kept, centred,
// the rest of the window left black.
#pragma once

namespace vantor::receiver {

struct PictureRect {
    int x = 0, y = 0, width = 0, height = 0;
};

PictureRect letterbox(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

}  // namespace vantor::receiver
