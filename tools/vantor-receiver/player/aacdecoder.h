// libavcodec's AAC decoder for ADTS frames, with the samples converted by
// libswresample to interleaved signed 16-bit at the stream's own rate, the form
// the sound server is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace vantor::receiver {

struct DecodedSound {
    std::vector<int16_t> samples;  // interleaved
    int frames = 0;
    int channels = 0;
    int sampleRate = 0;
};

class AacDecoder {
public:
    AacDecoder() = default;
    ~AacDecoder();
    AacDecoder(const AacDecoder&) = delete;
    AacDecoder& operator=(const AacDecoder&) = delete;

    bool open(std::string* error);
    // One ADTS frame in; false with *error when it cannot be decoded.
    bool decode(const uint8_t* adts, size_t size, DecodedSound* sound, std::string* error);

private:
    bool convert(DecodedSound* sound, std::string* error);

    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* resampler_ = nullptr;
    int resamplerFormat_ = -1, resamplerRate_ = 0, resamplerChannels_ = 0;
};

}  // namespace vantor::receiver
