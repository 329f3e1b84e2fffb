// Software H.264 encoder of the desktop sharing pipeline: one BGRA screen image in,
// one libx264 packet out, tuned for the lowest latency.
#pragma once

#include <atomic>
#include <cstdint>

extern "C" {
#include <libavcodec/packet.h>
}

struct AVCodecContext;
struct AVFrame;
struct SwsContext;

class H264Encoder {
public:
    static H264Encoder& instance();

    // Opens libx264 at the output size. Tears down an earlier configuration first.
    bool init(int32_t width, int32_t height, int32_t bitRate, int32_t frameRate, int32_t gop);

    // bgra: width x height pixels, rows packed (stride width * 4). pts 0 lets the frame
    // counter time the picture. Returns the encoder-owned packet, valid until the next
    // encodeVideo or destroy, or null when no packet came out.
    AVPacket* encodeVideo(const uint8_t* bgra, int32_t width, int32_t height, int64_t pts);

    // Fills the encoder's picture from a BGRA image whose sides are multiples of 4.
    bool scaleByLibyuv(const uint8_t* bgra, int32_t width, int32_t height);

    // Releases everything; harmless on an encoder that was never initialised.
    void destroy();

    // Makes the next picture an IDR with its parameter sets, so a receiver that
    // joins a running cast can start decoding at once. Safe from any thread.
    void requestKeyFrame() { keyFrameRequested = true; }

    // Where the latest encodeVideo spent its time (nanoseconds): the conversion of
    // the picture to I420 at the output size, and libx264. For the caller's thread.
    int64_t lastConversionNs() const { return conversionNs; }
    int64_t lastEncodeNs() const { return encodeNs; }

    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

private:
    H264Encoder() = default;
    ~H264Encoder();

    bool allocatePicture();
    bool scaleByFFmpeg(const uint8_t* bgra, int32_t width, int32_t height);

    bool initialized = false;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitRate = 0;
    int32_t frameRate = 0;
    int32_t gop = 0;
    AVCodecContext* codecContext = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int32_t frameCounter = 0;
    int32_t sourceWidth = 0;
    int32_t sourceHeight = 0;
    AVFrame* intermediate = nullptr;
    std::atomic<bool> keyFrameRequested{false};
    int64_t conversionNs = 0;
    int64_t encodeNs = 0;
};
