#include "tools/vantor-receiver/player/letterbox.h"

#include <cstdint>

namespace vantor::receiver {

PictureRect letterbox(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight)
{
    if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
    PictureRect rect;
    // Compare areaWidth / areaHeight with pictureWidth / pictureHeight without rounding.
    if (int64_t(areaWidth) * pictureHeight > int64_t(areaHeight) * pictureWidth) {
        rect.height = areaHeight;  // bars left and right
        rect.width = int((int64_t(areaHeight) * pictureWidth + pictureHeight / 2) / pictureHeight);
    } else {
        rect.width = areaWidth;  // bars above and below
        rect.height = int((int64_t(areaWidth) * pictureHeight + pictureWidth / 2) / pictureWidth);
    }
    rect.x = (areaWidth - rect.width) / 2;
    rect.y = (areaHeight - rect.height) / 2;
    return rect;
}

}  // namespace vantor::receiver
