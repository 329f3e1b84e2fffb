// The window's texture takes planar 4:2:0 YUV; pictures in any other layout are
// converted once with swscale.
#pragma once

struct AVFrame;
struct SwsContext;

namespace vantor::receiver {

class Yuv420Converter {
public:
    Yuv420Converter() = default;
    ~Yuv420Converter();
    Yuv420Converter(const Yuv420Converter&) = delete;
    Yuv420Converter& operator=(const Yuv420Converter&) = delete;

    // Takes picture and returns it, or a 4:2:0 copy of it; null when that fails.
    AVFrame* convert(AVFrame* picture);

private:
    SwsContext* scaler_ = nullptr;
};

bool isYuv420(const AVFrame* picture);

}  // namespace vantor::receiver
