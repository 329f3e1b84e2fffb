#include "libcapture/desktopsharing/h264encoder.h"

#include <libyuv.h>

#include <chrono>

#include "Comm/logging.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

int64_t nanosecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                start)
        .count();
}

}  // namespace

H264Encoder& H264Encoder::instance()
{
    static H264Encoder encoder;
    return encoder;
}

H264Encoder::~H264Encoder() { destroy(); }

bool H264Encoder::init(int32_t width, int32_t height, int32_t bitRate, int32_t frameRate,
                       int32_t gop)
{
    // A failed init keeps its context until the next init, so always start clean.
    destroy();

    this->width = width;
    this->height = height;
    this->bitRate = bitRate;
    this->frameRate = frameRate;
    this->gop = gop;
    if (frameRate <= 0) {
        LOG(INFO) << "H264Encoder::init() needs a positive frame rate, got " << frameRate;
        return false;
    }

    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        LOG(INFO) << "H.264 Encoder not found.\n";
        return false;
    }
    codecContext = avcodec_alloc_context3(codec);
    if (!codecContext) {
        LOG(INFO) << "avcodec_alloc_context3() failed.";
        return false;
    }
    LOG(INFO) << "w " << width << " h " << height;

    codecContext->width = width;
    codecContext->height = height;
    codecContext->time_base = AVRational{1, frameRate};
    codecContext->framerate = AVRational{frameRate, 1};
    codecContext->gop_size = gop;
    codecContext->max_b_frames = 0;
    codecContext->pix_fmt = AV_PIX_FMT_YUV420P;
    codecContext->bit_rate = bitRate;
    codecContext->rc_max_rate = bitRate;
    codecContext->rc_min_rate = bitRate;
    codecContext->rc_buffer_size = bitRate;  // one second of data
    // AV_CODEC_FLAG_GLOBAL_HEADER stays clear: SPS and PPS travel in-band with every IDR,
    // so a receiver can join at any key frame.

    if (codec->id == AV_CODEC_ID_H264) {
        av_opt_set(codecContext->priv_data, "preset", "ultrafast", 0);
    }
    av_opt_set(codecContext->priv_data, "tune", "zerolatency", 0);
    av_opt_set_int(codecContext->priv_data, "forced-idr", 1, 0);
    av_opt_set_int(codecContext->priv_data, "avcintra-class", -1, 0);

    if (avcodec_open2(codecContext, codec, nullptr) < 0) {
        LOG(INFO) << "avcodec_open2() failed.\n";
        return false;
    }

    packet = av_packet_alloc();
    if (!packet) {
        LOG(INFO) << "av_packet_alloc() failed.";
        return false;
    }
    initialized = true;
    return true;
}

bool H264Encoder::allocatePicture()
{
    if (frame) {
        // The encoder may still reference the last picture; copy-on-write if so.
        if (av_frame_make_writable(frame) < 0) {
            LOG(INFO) << "av_frame_make_writable() failed.";
            return false;
        }
        return true;
    }
    frame = av_frame_alloc();
    if (!frame) {
        LOG(INFO) << "av_frame_alloc() failed.";
        return false;
    }
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    frame->pts = 0;
    if (av_frame_get_buffer(frame, 32) < 0) {
        LOG(INFO) << "av_frame_get_buffer() failed.\n";
        av_frame_free(&frame);
        return false;
    }
    return true;
}

AVPacket* H264Encoder::encodeVideo(const uint8_t* bgra, int32_t width, int32_t height, int64_t pts)
{
    conversionNs = encodeNs = 0;
    if (!initialized) {
        LOG(INFO) << "H264Encoder::encodeVideo() before init.";
        return nullptr;
    }
    if (!bgra || width <= 0 || height <= 0) {
        LOG(INFO) << "H264Encoder::encodeVideo() got no picture: " << width << "x" << height;
        return nullptr;
    }
    if (!allocatePicture()) {
        return nullptr;
    }

    const bool multiplesOf4 = width % 4 == 0 && height % 4 == 0;
    const auto conversionStart = std::chrono::steady_clock::now();
    const bool converted =
        multiplesOf4 ? scaleByLibyuv(bgra, width, height) : scaleByFFmpeg(bgra, width, height);
    conversionNs = nanosecondsSince(conversionStart);
    if (!converted) {
        return nullptr;
    }

    // Timed by frame index: time_base is 1/frameRate.
    if (pts == 0) {
        frame->pts = frameCounter++;
    } else {
        frame->pts = pts;
    }
    // With "forced-idr" a forced I picture is an IDR.
    frame->pict_type = keyFrameRequested.exchange(false) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;

    const auto encodeStart = std::chrono::steady_clock::now();
    const int sent = avcodec_send_frame(codecContext, frame);
    encodeNs = nanosecondsSince(encodeStart);
    if (sent < 0) {
        LOG(INFO) << "avcodec_send_frame() failed.\n";
        return nullptr;
    }
    av_packet_unref(packet);
    const int received = avcodec_receive_packet(codecContext, packet);
    encodeNs = nanosecondsSince(encodeStart);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
        return nullptr;
    }
    if (received < 0) {
        LOG(INFO) << "avcodec_receive_packet() failed.";
        return nullptr;
    }
    return packet;
}

bool H264Encoder::scaleByFFmpeg(const uint8_t* bgra, int32_t width, int32_t height)
{
    if (!scaler || sourceWidth != width || sourceHeight != height) {
        sws_freeContext(scaler);
        LOG(INFO) << "scale by ff : " << width << "x" << height;
        scaler = sws_getContext(width, height, AV_PIX_FMT_BGRA, this->width, this->height,
                                AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!scaler) {
            LOG(INFO) << "sws_getContext() failed for " << width << "x" << height;
            return false;
        }
        sourceWidth = width;
        sourceHeight = height;
    }
    const uint8_t* const sourcePlanes[1] = {bgra};
    const int sourceStrides[1] = {width * 4};
    if (sws_scale(scaler, sourcePlanes, sourceStrides, 0, height, frame->data, frame->linesize) <
        0) {
        LOG(INFO) << "sws_scale() failed.\n";
        return false;
    }
    return true;
}

bool H264Encoder::scaleByLibyuv(const uint8_t* bgra, int32_t width, int32_t height)
{
    if (!frame) {
        LOG(INFO) << "H264Encoder::scaleByLibyuv() before the first picture.";
        return false;
    }
    if (width == this->width && height == this->height) {
        if (libyuv::ARGBToI420(bgra, width * 4, frame->data[0], frame->linesize[0], frame->data[1],
                               frame->linesize[1], frame->data[2], frame->linesize[2], width,
                               height) != 0) {
            LOG(INFO) << "libyuv::ARGBToI420() failed.\n";
            return false;
        }
        return true;
    }

    if (!intermediate || sourceWidth != width || sourceHeight != height) {
        LOG(INFO) << "scale by libyuv : " << width << "x" << height;
        sourceWidth = width;
        sourceHeight = height;
        av_frame_free(&intermediate);
        intermediate = av_frame_alloc();
        if (!intermediate) {
            LOG(INFO) << "av_frame_alloc() failed.";
            return false;
        }
        intermediate->format = AV_PIX_FMT_YUV420P;
        intermediate->width = width;
        intermediate->height = height;
        if (av_frame_get_buffer(intermediate, 32) < 0) {
            LOG(INFO) << "av_frame_get_buffer() failed.\n";
            av_frame_free(&intermediate);
            return false;
        }
    }

    if (libyuv::ARGBToI420(bgra, width * 4, intermediate->data[0], intermediate->linesize[0],
                           intermediate->data[1], intermediate->linesize[1], intermediate->data[2],
                           intermediate->linesize[2], width, height) != 0) {
        LOG(INFO) << "libyuv::ARGBToI420() failed.\n";
        return false;
    }
    if (libyuv::I420Scale(intermediate->data[0], intermediate->linesize[0], intermediate->data[1],
                          intermediate->linesize[1], intermediate->data[2],
                          intermediate->linesize[2], width, height, frame->data[0],
                          frame->linesize[0], frame->data[1], frame->linesize[1], frame->data[2],
                          frame->linesize[2], this->width, this->height, libyuv::kFilterBox) != 0) {
        LOG(INFO) << "libyuv::I420Scale() failed.";
        return false;
    }
    return true;
}

void H264Encoder::destroy()
{
    initialized = false;
    frameCounter = 0;
    keyFrameRequested = false;
    sourceWidth = 0;
    sourceHeight = 0;
    sws_freeContext(scaler);
    scaler = nullptr;
    av_frame_free(&frame);
    av_frame_free(&intermediate);
    av_packet_free(&packet);
    avcodec_free_context(&codecContext);
}
