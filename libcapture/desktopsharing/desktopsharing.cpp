#include "libcapture/desktopsharing/desktopsharing.h"

#include <algorithm>
#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "Comm/logging.h"
#include "libcapture/desktopsharing/aacencoder.h"
#include "libcapture/desktopsharing/audiocapture.h"
#include "libcapture/desktopsharing/duplicationpath.h"
#include "libcapture/desktopsharing/h264encoder.h"

namespace {

int64_t nanosecondsOf(std::chrono::steady_clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

int64_t steadyNowNs() { return nanosecondsOf(std::chrono::steady_clock::now()); }

constexpr int kAudioBufferBytes = 20480;
constexpr uint32_t kStillScreenResendMs = 100;

}  // namespace

DesktopSharing& DesktopSharing::instance()
{
    static DesktopSharing sharing;
    return sharing;
}

DesktopSharing::DesktopSharing()
{
    // Built before us, the singletons the loops use are destroyed after us, so
    // at process exit our destructor stops the loops while they still exist.
    H264Encoder::instance();
    AACEncoder::instance();
    AudioCapture::instance();
    duplication_ = createDuplicationPath();
}

DesktopSharing::~DesktopSharing()
{
    // A process that ends mid-cast: the loops must not outlive us (a joinable
    // thread would abort the process).
    running_ = false;
    for (auto* thread : {&videoThread_, &audioThread_})
        if (*thread && (*thread)->joinable()) (*thread)->join();
}

void DesktopSharing::selectSources(VideoSourceKind video, AudioSourceKind audio)
{
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    videoKind_ = video;
    audioKind_ = audio;
}

bool DesktopSharing::failInit(const char* reason)
{
    LOG(INFO) << reason;
    std::lock_guard<std::mutex> state(stateMutex_);
    initError_ = reason;
    return false;
}

bool DesktopSharing::init(const CaptureConfig& config, PacketCallback callback, void* context,
                          int captureMode, WindowRecord target)
{
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    if (initialized_) return false;

    requested_.bitRate = config.bitRate;
    requested_.frameRate = config.frameRate;
    requested_.gop = config.gop;
    requested_.width = config.width;
    requested_.height = config.height;
    codec_ = config.codec;
    callback_ = callback;
    callbackContext_ = context;
    videoBitRate_ = requested_.bitRate;
    videoFrameRate_ = requested_.frameRate > 0 ? requested_.frameRate : 25;
    videoGop_ = requested_.gop;
    {
        std::lock_guard<std::mutex> timesLock(encodeTimesMutex_);
        encodeTimesMs_.clear();
    }
    stageTimes_.clear();

    useMixCapture_ = (codec_ == "h264");
    // Any other codec text selects the desktop-duplication path (DXGI capture,
    // NVENC for "h264_nvenc") where the platform has one (Windows); otherwise
    // every codec takes the frame-source path, and the test picture always does.
    useDuplication_ = !useMixCapture_ && duplication_ && videoKind_ == VideoSourceKind::Screen;
    std::shared_ptr<FrameSource> previous;
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        initError_.clear();
        previous = std::move(mixCapture_);
    }
    if (previous) previous->exit();
    previous.reset();
    std::shared_ptr<FrameSource> source;
    if (!useDuplication_)
        source = createFrameSource(videoKind_, requested_.width, requested_.height);
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        mixCapture_ = source;
    }
    if (useDuplication_) {
        if (!duplication_->initCapture()) return failInit("DXGIScreenCapture init err");
    } else if (!source || source->init(0, captureMode, target) < 0) {
        return failInit("MixScreenCapture init err");
    }

    // Without a sound server or output device the picture is still worth
    // casting: the audio stream keeps its 2 x 48000 header and stays empty.
    int32_t channels = 2, sampleRate = 48000;
    bool audioEnabled = false;
    if (audioKind_ == AudioSourceKind::None) {
        LOG(INFO) << "audio source: none, casting video only";
    } else if (AudioCapture::instance().init(kAudioBufferBytes, audioKind_) < 0) {
        LOG(INFO) << "AudioCapture init err: no audio device, casting video only";
    } else if (!AACEncoder::instance().init(AudioCapture::instance().getChannels(),
                                            AudioCapture::instance().getSampleRate(),
                                            audioBitRate_)) {
        // A sound the encoder cannot take must not cost the picture.
        LOG(INFO) << "AACEncoder init err: " << AudioCapture::instance().getChannels()
                  << " channels at " << AudioCapture::instance().getSampleRate()
                  << " Hz, casting video only";
    } else {
        audioEnabled = true;
        sampleRate = AudioCapture::instance().getSampleRate();
        channels = AudioCapture::instance().getChannels();
    }

    // Before its first frame a capture reports 0 x 0; the encoder cannot open
    // at that size, so the size the source will deliver is asked for instead.
    int sourceWidth = 0, sourceHeight = 0;
    if (useDuplication_) {
        sourceWidth = duplication_->captureWidth();
        sourceHeight = duplication_->captureHeight();
    } else {
        sourceWidth = source->frameWidth();
        sourceHeight = source->frameHeight();
        if (sourceWidth <= 0 || sourceHeight <= 0) source->sourceSize(sourceWidth, sourceHeight);
    }
    // 4:2:0 pictures have even sides: an 801 x 601 window is encoded at 800 x 600
    // (the encoder's scaler takes the odd frames).
    const int32_t width = requested_.width ? requested_.width : sourceWidth & ~1;
    const int32_t height = requested_.height ? requested_.height : sourceHeight & ~1;
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        everInitialized_ = true;
        channels_ = channels;
        sampleRate_ = sampleRate;
        audioEnabled_ = audioEnabled;
        videoWidth_ = width;
        videoHeight_ = height;
    }

    // NVENC where it was asked for and works; otherwise, without a message, the
    // software encoder.
    if (useDuplication_)
        duplication_->setUpEncoder(codec_, width, height, videoFrameRate_, videoBitRate_,
                                   videoGop_);
    if (!(useDuplication_ && duplication_->usesHardwareEncoder()) &&
        !H264Encoder::instance().init(width, height, videoBitRate_, videoFrameRate_, videoGop_))
        return failInit("H264Encoder init err");
    std::lock_guard<std::mutex> state(stateMutex_);
    initialized_ = true;
    return true;
}

void DesktopSharing::requestKeyFrame() { H264Encoder::instance().requestKeyFrame(); }

void DesktopSharing::start()
{
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    if (!initialized_ || running_) return;
    running_ = true;
    startTimeNs_ = steadyNowNs();
    lastVideoTimestamp_ = 0;

    if (useDuplication_) {
        if (duplication_->start())
            videoThread_ = std::make_shared<std::thread>(&DesktopSharing::pushVideo, this);
    } else if (mixCapture_->start() == 0 && mixCapture_->isStarted()) {
        videoThread_ = std::make_shared<std::thread>(&DesktopSharing::pushVideo, this);
    }

    if (audioEnabled_ && AudioCapture::instance().start() == 0 &&
        AudioCapture::instance().isStarted())
        audioThread_ = std::make_shared<std::thread>(&DesktopSharing::pushAudio, this);
}

void DesktopSharing::stop()
{
    LOG(INFO) << "DesktopSharing::stop";
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    stopLocked();
}

void DesktopSharing::stopLocked()
{
    if (!running_) return;
    running_ = false;
    if (mixCapture_ && mixCapture_->isStarted()) mixCapture_->stop();
    if (useDuplication_ && duplication_->isStarted()) duplication_->stop();
    // Joined whether or not the source still claims to run: a thread is never
    // left joinable behind us.
    if (videoThread_ && videoThread_->joinable()) videoThread_->join();
    if (AudioCapture::instance().isStarted()) AudioCapture::instance().stop();
    if (audioThread_ && audioThread_->joinable()) audioThread_->join();
}

void DesktopSharing::exit()
{
    LOG(INFO) << "DesktopSharing::exit";
    if (running_) stop();
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    stopLocked();  // in case a start slipped in between
    if (!initialized_) return;
    std::shared_ptr<FrameSource> source;
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        initialized_ = false;
        source = std::move(mixCapture_);
    }
    H264Encoder::instance().destroy();
    AudioCapture::instance().exit();
    AACEncoder::instance().destroy();
    if (source) source->exit();
    if (useDuplication_) duplication_->exit();
}

bool DesktopSharing::isInitialized() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return initialized_;
}

std::string DesktopSharing::lastInitError() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return initError_;
}

int DesktopSharing::outputWidth() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return videoWidth_;
}

int DesktopSharing::outputHeight() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return videoHeight_;
}

bool DesktopSharing::hasAudio() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return initialized_ && audioEnabled_;
}

std::shared_ptr<FrameSource> DesktopSharing::frameSource() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return mixCapture_;
}

void DesktopSharing::audioInfo(int& channels, int& sampleRate) const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (everInitialized_ && !audioEnabled_) {
        channels = channels_;
        sampleRate = sampleRate_;
        return;
    }
    channels = AudioCapture::instance().getChannels();
    sampleRate = AudioCapture::instance().getSampleRate();
}

uint32_t DesktopSharing::millisecondsSinceStart() const
{
    return static_cast<uint32_t>((steadyNowNs() - startTimeNs_) / 1000000);
}

void DesktopSharing::recordEncodeTime(double ms)
{
    std::lock_guard<std::mutex> lock(encodeTimesMutex_);
    if (encodeTimesMs_.size() >= kEncodeTimeSamples) encodeTimesMs_.pop_front();
    encodeTimesMs_.push_back(ms);
}

std::vector<double> DesktopSharing::encodeTimesMs() const
{
    std::lock_guard<std::mutex> lock(encodeTimesMutex_);
    return std::vector<double>(encodeTimesMs_.begin(), encodeTimesMs_.end());
}

void DesktopSharing::pushVideo()
{
    using Clock = std::chrono::steady_clock;
    const int interval = 1000 / videoFrameRate_;
    auto lastFrameTime = Clock::now();
    std::shared_ptr<uint8_t> frame;

    while (running_) {
        auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastFrameTime)
                .count();
        int wait = elapsed <= interval ? interval - static_cast<int>(elapsed) : 0;
        // The capture looks for a change in time for the frame taken on waking:
        // one look per frame, and the picture taken is fresh.
        if (!useDuplication_)
            mixCapture_->prepareFrame(Clock::now() + std::chrono::milliseconds(wait));
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));

        lastFrameTime = Clock::now();
        uint32_t timestamp = millisecondsSinceStart();
        if (useDuplication_) {
            duplication_->encodeFrame(callback_, callbackContext_, timestamp);
            continue;
        }
        // A look that runs late is worth half a frame's wait: the interval absorbs it.
        mixCapture_->awaitPreparedFrame(lastFrameTime + std::chrono::milliseconds(interval) / 2);

        // A still screen yields no new buffer: forget ours after 100 ms so the
        // current one counts as new and the receiver keeps getting pictures.
        const uint8_t* held = frame.get();
        if (timestamp - lastVideoTimestamp_ > kStillScreenResendMs) frame.reset();
        int size = 0, width = 0, height = 0;
        int64_t capturedNs = 0;
        if (mixCapture_->getFrame(frame, size, width, height, capturedNs) == 0) {
            auto encodeStart = Clock::now();
            if (frame.get() != held) {
                const int64_t tickNs = nanosecondsOf(lastFrameTime);
                const int64_t since = capturedNs > 0 ? std::min(capturedNs, tickNs) : tickNs;
                stageTimes_.captureWait.record(nanosecondsOf(encodeStart) - since);
            }
            H264Encoder& encoder = H264Encoder::instance();
            AVPacket* packet = encoder.encodeVideo(frame.get(), width, height, 0);
            recordEncodeTime(
                std::chrono::duration<double, std::milli>(Clock::now() - encodeStart).count());
            stageTimes_.conversion.record(encoder.lastConversionNs());
            stageTimes_.encode.record(encoder.lastEncodeNs());
            if (packet) {
                if (callback_)
                    callback_(callbackContext_, 0, packet->data, packet->size, 2, timestamp);
                lastVideoTimestamp_ = timestamp;
            }
        }
    }
    frame.reset();
}

bool DesktopSharing::isSilentBlock(const uint8_t* block, size_t bytes)
{
    auto quiet = [](uint8_t b) { return b == 0x00 || b == 0x01 || b == 0xFF; };
    size_t m = std::min<size_t>(bytes, 128);
    return std::all_of(block, block + m, quiet) &&
           std::all_of(block + bytes - m, block + bytes, quiet);
}

void DesktopSharing::pushAudio()
{
    std::vector<uint8_t> buffer(384000);
    AudioCapture& capture = AudioCapture::instance();
    const int n = AACEncoder::instance().frameSize();
    if (n <= 0) return;

    while (running_) {
        if (capture.availableFrames() < n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        uint32_t timestamp = millisecondsSinceStart();
        if (capture.read(buffer.data(), n) != n) continue;

        size_t bytes =
            static_cast<size_t>(n) * capture.getChannels() * capture.getBitsPerSample() / 8;
        bytes = std::min(bytes, buffer.size());
        if (isSilentBlock(buffer.data(), bytes)) continue;  // a quiet PC sends nothing

        AVPacket* packet = AACEncoder::instance().encodeAudio(buffer.data(), n);
        if (packet) {
            if (callback_)
                callback_(callbackContext_, 1, packet->data, packet->size, 17, timestamp);
            av_packet_free(&packet);
        }
    }
}
