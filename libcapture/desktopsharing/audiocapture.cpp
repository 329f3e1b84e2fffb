#include "libcapture/desktopsharing/audiocapture.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "Comm/logging.h"

AudioCapture& AudioCapture::instance()
{
    static AudioCapture capture;
    return capture;
}

AudioCapture::AudioCapture() = default;

AudioCapture::~AudioCapture()
{
    releaseDevices();
    swr_free(&resampler_);
}

bool AudioCapture::isStreamableRate(int sampleRate)
{
    // The sampling frequencies an ADTS header can name.
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    return std::find(std::begin(kRates), std::end(kRates), sampleRate) != std::end(kRates);
}

int AudioCapture::init(int bufferBytes, AudioSourceKind kind)
{
    std::lock_guard<std::mutex> lock(lifecycleMutex_);
    if (initialized_ && kind == kind_) return 0;
    if (initialized_)
        LOG(INFO) << "audio source changes from " << audioSourceKindName(kind_) << " to "
                  << audioSourceKindName(kind) << ", re-initialising";
    AudioDevices devices = createAudioDevices(kind);
    if (!devices.capture) {
        // Keep what was initialised before: a failed switch must not leave us
        // with neither the old devices nor new ones.
        return -1;
    }
    int result = initDevices(bufferBytes, std::move(devices.capture), std::move(devices.renderer));
    if (result == 0) kind_ = kind;
    return result;
}

int AudioCapture::initWithDevices(int bufferBytes, std::unique_ptr<AudioCaptureDevice> capture,
                                  std::unique_ptr<AudioRenderDevice> renderer, AudioSourceKind kind)
{
    std::lock_guard<std::mutex> lock(lifecycleMutex_);
    if (!capture) return -1;
    int result = initDevices(bufferBytes, std::move(capture), std::move(renderer));
    if (result == 0) kind_ = kind;
    return result;
}

int AudioCapture::initDevices(int bufferBytes, std::unique_ptr<AudioCaptureDevice> capture,
                              std::unique_ptr<AudioRenderDevice> renderer)
{
    if (capture->init() < 0) return -1;
    releaseDevices();
    initialized_ = false;

    const AudioFormat* format = capture->mixFormat();
    channels_ = format->channels;
    bitsPerSample_ = format->bitsPerSample;
    sampleRate_ = isStreamableRate(format->sampleRate) ? format->sampleRate : kFallbackRate;
    if (sampleRate_ != format->sampleRate)
        LOG(INFO) << "audio capture rate " << format->sampleRate
                  << " Hz cannot be streamed, resampling to " << kFallbackRate << " Hz";

    if (renderer) renderer->init();  // the player's result does not matter
    capture_ = std::move(capture);
    player_ = std::move(renderer);
    buffer_ = std::make_shared<AudioBuffer>(bufferBytes);
    initialized_ = true;
    return 0;
}

void AudioCapture::releaseDevices()
{
    if (started_) {
        if (player_) player_->stop();
        if (capture_) capture_->stop();
        started_ = false;
    }
    player_.reset();
    capture_.reset();
}

int AudioCapture::start()
{
    std::lock_guard<std::mutex> lock(lifecycleMutex_);
    if (!initialized_) return -1;
    if (started_) return 0;
    capture_->setCallback([this](const AudioFormat* format, uint8_t* data, uint32_t frames) {
        write(format, data, frames);
    });
    buffer_->clear();
    if (capture_->start() < 0) return -1;
    if (player_) {
        player_->start([](const AudioFormat* format, uint8_t* data, uint32_t frames) {
            std::memset(data, 0, static_cast<size_t>(format->blockAlign) * frames);
        });
    }
    started_ = true;
    return 0;
}

int AudioCapture::stop()
{
    std::lock_guard<std::mutex> lock(lifecycleMutex_);
    if (!initialized_) return -1;
    if (started_) {
        if (player_) player_->stop();
        capture_->stop();
        started_ = false;
    }
    return 0;
}

int AudioCapture::exit()
{
    std::lock_guard<std::mutex> lock(lifecycleMutex_);
    if (initialized_ && started_) {
        if (player_) player_->stop();
        capture_->stop();
        started_ = false;
    }
    return 0;
}

int AudioCapture::availableFrames() const
{
    std::shared_ptr<AudioBuffer> buffer = buffer_;
    int bits = bitsPerSample_;
    int channels = channels_;
    if (!buffer || bits <= 0 || channels <= 0) return 0;
    return static_cast<int>(static_cast<uint64_t>(buffer->unreadBytes()) * 8 / bits / channels);
}

int AudioCapture::read(uint8_t* destination, int frames)
{
    std::shared_ptr<AudioBuffer> buffer = buffer_;
    if (!buffer || frames <= 0 || availableFrames() < frames) return 0;
    uint32_t bytes = static_cast<uint32_t>(channels_) * (frames * bitsPerSample_ / 8);
    return buffer->read(destination, bytes) ? frames : 0;
}

void AudioCapture::write(const AudioFormat* format, const uint8_t* data, uint32_t frames)
{
    std::shared_ptr<AudioBuffer> buffer = buffer_;
    if (!buffer || !format || !data || format->blockAlign <= 0) return;
    channels_ = format->channels;
    bitsPerSample_ = format->bitsPerSample;
    uint32_t bytes = static_cast<uint32_t>(format->blockAlign) * frames;
    if (isStreamableRate(format->sampleRate)) {
        sampleRate_ = format->sampleRate;
    } else {
        // The AAC stream cannot say this rate: the receiver would play at the
        // wrong speed, so the samples are converted before they are buffered.
        data = resample(format, data, bytes);
        sampleRate_ = kFallbackRate;
        if (!data) return;
    }
    buffer->write(data, bytes);
}

const uint8_t* AudioCapture::resample(const AudioFormat* format, const uint8_t* data,
                                      uint32_t& bytes)
{
    if (format->bitsPerSample != 16) return nullptr;
    int channels = format->channels;
    if (!resampler_ || resamplerRate_ != format->sampleRate || resamplerChannels_ != channels) {
        swr_free(&resampler_);
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels);
        int err = swr_alloc_set_opts2(&resampler_, &layout, AV_SAMPLE_FMT_S16, kFallbackRate,
                                      &layout, AV_SAMPLE_FMT_S16, format->sampleRate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (err < 0 || swr_init(resampler_) < 0) {
            swr_free(&resampler_);
            LOG(INFO) << "audio resampler from " << format->sampleRate << " Hz failed";
            return nullptr;
        }
        resamplerRate_ = format->sampleRate;
        resamplerChannels_ = channels;
    }
    int inFrames = static_cast<int>(bytes / format->blockAlign);
    int outCapacity = swr_get_out_samples(resampler_, inFrames);
    if (outCapacity <= 0) return nullptr;
    size_t needed = static_cast<size_t>(outCapacity) * channels * 2;
    if (resampled_.size() < needed)
        resampled_.resize(needed);  // grows to the largest delivery once
    uint8_t* out[] = {resampled_.data()};
    const uint8_t* in[] = {data};
    int outFrames = swr_convert(resampler_, out, outCapacity, in, inFrames);
    if (outFrames <= 0) return nullptr;
    bytes = static_cast<uint32_t>(outFrames) * channels * 2;
    return resampled_.data();
}
