#include "tools/vantor-receiver/recorder.h"

#include <algorithm>
#include <cstring>

#include "tools/vantor-receiver/h264nalscan.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace vantor::receiver {

namespace {

// Bounds on what waits for the container header, so a cast whose second channel never
// delivers its parameters cannot grow memory without end.
constexpr size_t kMaxPendingPackets = 2048;
constexpr size_t kMaxPendingBytes = 64u * 1024u * 1024u;
constexpr AVRational kMillisecond = {1, 1000};

std::string averror(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Coded picture size from the parameter sets, via FFmpeg's H.264 parser.
void pictureSize(const uint8_t* frame, size_t size, int* width, int* height)
{
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(nullptr);
    if (parser && context) {
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.data(), frame, size);
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser, context, &out, &outSize, padded.data(), int(size), AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        *width = parser->width;
        *height = parser->height;
    }
    av_parser_close(parser);
    avcodec_free_context(&context);
}

int channelsOf(int channelConfiguration)
{
    if (channelConfiguration == 7) return 8;
    return channelConfiguration == 0 ? 2 : channelConfiguration;
}

void setExtradata(AVCodecParameters* parameters, const std::vector<uint8_t>& bytes)
{
    parameters->extradata =
        static_cast<uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(parameters->extradata, bytes.data(), bytes.size());
    parameters->extradata_size = int(bytes.size());
}

}  // namespace

Recorder::Recorder(std::string path) : path_(std::move(path)) {}

Recorder::~Recorder() { finish(); }

void Recorder::addVideo(const uint8_t* annexB, size_t size, uint32_t timestampMs)
{
    if (finished_ || failed_ || size == 0) return;
    const AnnexBSummary nal = scanAnnexB(annexB, size);
    if (!videoReady_) {
        if (!nal.hasSps || !nal.hasPps) return;  // undecodable until the parameter sets come
        static const uint8_t kStartCode[4] = {0, 0, 0, 1};
        videoExtradata_.assign(kStartCode, kStartCode + 4);
        videoExtradata_.insert(videoExtradata_.end(), nal.sps.begin(), nal.sps.end());
        videoExtradata_.insert(videoExtradata_.end(), kStartCode, kStartCode + 4);
        videoExtradata_.insert(videoExtradata_.end(), nal.pps.begin(), nal.pps.end());
        pictureSize(annexB, size, &width_, &height_);
        videoReady_ = true;
    }
    queue({true, timestampMs, std::vector<uint8_t>(annexB, annexB + size), nal.hasIdr});
}

void Recorder::addAudio(const uint8_t* adts, size_t size, uint32_t timestampMs)
{
    if (finished_ || failed_ || size == 0) return;
    AdtsFrameInfo info;
    if (!parseAdtsHeader(adts, size, &info).empty() || info.frameLength > size) return;
    if (!audioReady_) {
        audioInfo_ = info;
        audioReady_ = true;
    }
    queue({false, timestampMs,
           std::vector<uint8_t>(adts + info.headerLength, adts + info.frameLength), true});
}

void Recorder::endVideo()
{
    videoEnded_ = true;
    startIfReady(false);
}

void Recorder::endAudio()
{
    audioEnded_ = true;
    startIfReady(false);
}

void Recorder::queue(Pending packet)
{
    if (format_) {
        write(packet);
        return;
    }
    pendingBytes_ += packet.data.size();
    pending_.push_back(std::move(packet));
    startIfReady(false);
}

void Recorder::startIfReady(bool force)
{
    if (format_ || failed_ || finished_) return;
    const bool bounded = pending_.size() >= kMaxPendingPackets || pendingBytes_ >= kMaxPendingBytes;
    const bool allKnown = (videoReady_ || videoEnded_) && (audioReady_ || audioEnded_);
    if (!(allKnown || force || bounded)) return;
    if (!videoReady_ && !audioReady_) return;
    if (!openMuxer()) return;
    timestampBase_ = INT64_MAX;
    for (const Pending& p : pending_)
        timestampBase_ = std::min<int64_t>(timestampBase_, p.timestamp);
    if (pending_.empty()) timestampBase_ = 0;
    for (const Pending& p : pending_) write(p);
    pending_.clear();
    pendingBytes_ = 0;
}

bool Recorder::openMuxer()
{
    int rc = avformat_alloc_output_context2(&format_, nullptr, nullptr, path_.c_str());
    if (rc < 0 || !format_) {
        failWith("cannot choose a container for " + path_ + ": " + averror(rc));
        return false;
    }
    if (videoReady_) {
        videoStream_ = avformat_new_stream(format_, nullptr);
        videoStream_->time_base = kMillisecond;
        AVCodecParameters* par = videoStream_->codecpar;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_H264;
        par->width = width_;
        par->height = height_;
        setExtradata(par, videoExtradata_);
    }
    if (audioReady_) {
        audioStream_ = avformat_new_stream(format_, nullptr);
        audioStream_->time_base = kMillisecond;
        AVCodecParameters* par = audioStream_->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_AAC;
        par->profile = audioInfo_.objectType - 1;
        par->sample_rate = audioInfo_.sampleRate;
        av_channel_layout_default(&par->ch_layout, channelsOf(audioInfo_.channelConfiguration));
        par->frame_size = 1024;
        uint8_t config[2];
        audioSpecificConfig(audioInfo_, config);
        setExtradata(par, std::vector<uint8_t>(config, config + 2));
    }
    rc = avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) {
        failWith("cannot create " + path_ + ": " + averror(rc));
        return false;
    }
    rc = avformat_write_header(format_, nullptr);
    if (rc < 0) {
        failWith("cannot write the header of " + path_ + ": " + averror(rc));
        return false;
    }
    headerWritten_ = true;
    return true;
}

void Recorder::write(const Pending& packet)
{
    if (failed_) return;
    AVStream* stream = packet.video ? videoStream_ : audioStream_;
    if (!stream) return;  // that channel's parameters came too late for the header
    // The muxer needs strictly rising timestamps per stream; the sender's clock gives
    // millisecond steps, so equal or earlier values are nudged forward.
    int64_t& last = packet.video ? lastVideoDts_ : lastAudioDts_;
    int64_t ts = std::max<int64_t>(0, int64_t(packet.timestamp) - timestampBase_);
    if (ts <= last) ts = last + 1;
    // The frame length is not on the wire; the last interval stands in for it, so an
    // MP4's final sample keeps a duration and is not cut off.
    int64_t& interval = packet.video ? lastVideoInterval_ : lastAudioInterval_;
    if (last >= 0) interval = ts - last;
    last = ts;

    AVPacket* avPacket = av_packet_alloc();
    if (!avPacket || av_new_packet(avPacket, int(packet.data.size())) < 0) {
        av_packet_free(&avPacket);
        failWith("out of memory");
        return;
    }
    std::memcpy(avPacket->data, packet.data.data(), packet.data.size());
    avPacket->stream_index = stream->index;
    avPacket->pts = avPacket->dts = ts;
    if (packet.key) avPacket->flags |= AV_PKT_FLAG_KEY;
    if (!packet.video && audioInfo_.sampleRate > 0)
        avPacket->duration = 1024 * 1000 / audioInfo_.sampleRate;
    else
        avPacket->duration = interval;
    av_packet_rescale_ts(avPacket, kMillisecond, stream->time_base);
    const int rc = av_interleaved_write_frame(format_, avPacket);
    av_packet_free(&avPacket);
    if (rc < 0) {
        failWith("cannot write to " + path_ + ": " + averror(rc));
        return;
    }
    ++(packet.video ? videoWritten_ : audioWritten_);
}

bool Recorder::finish()
{
    if (finished_) return finishedOk_;
    startIfReady(true);
    finished_ = true;
    pending_.clear();
    pendingBytes_ = 0;
    bool ok = !failed_;
    if (!format_) {
        if (ok) error_ = "nothing recordable arrived, no file written";
        return finishedOk_ = false;
    }
    if (headerWritten_) {
        // Also after a failed write: a trailer makes the part already written playable.
        const int rc = av_write_trailer(format_);
        if (rc < 0 && ok) failWith("cannot finish " + path_ + ": " + averror(rc));
        ok = ok && rc >= 0;
    }
    if (format_->pb) avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
    return finishedOk_ = ok;
}

void Recorder::failWith(const std::string& message)
{
    if (!failed_) error_ = message;
    failed_ = true;
}

}  // namespace vantor::receiver
