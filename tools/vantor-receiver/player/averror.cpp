#include "tools/vantor-receiver/player/averror.h"

extern "C" {
#include <libavutil/error.h>
}

namespace vantor::receiver {

std::string averrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace vantor::receiver
