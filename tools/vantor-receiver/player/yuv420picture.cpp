#include "tools/vantor-receiver/player/yuv420picture.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace vantor::receiver {

bool isYuv420(const AVFrame* picture)
{
    return picture->format == AV_PIX_FMT_YUV420P || picture->format == AV_PIX_FMT_YUVJ420P;
}

Yuv420Converter::~Yuv420Converter() { sws_freeContext(scaler_); }

AVFrame* Yuv420Converter::convert(AVFrame* picture)
{
    if (isYuv420(picture)) return picture;
    AVFrame* converted = av_frame_alloc();
    scaler_ = sws_getCachedContext(scaler_, picture->width, picture->height,
                                   AVPixelFormat(picture->format), picture->width, picture->height,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    bool ok = converted && scaler_;
    if (ok) {
        converted->format = AV_PIX_FMT_YUV420P;
        converted->width = picture->width;
        converted->height = picture->height;
        ok = av_frame_get_buffer(converted, 0) == 0 && av_frame_copy_props(converted, picture) == 0;
    }
    if (ok)
        ok = sws_scale(scaler_, picture->data, picture->linesize, 0, picture->height,
                       converted->data, converted->linesize) > 0;
    av_frame_free(&picture);
    if (!ok) av_frame_free(&converted);
    return converted;
}

}  // namespace vantor::receiver
