#include "tools/vantor-receiver/cast.h"

#include <QTcpSocket>
#include <cstdio>

#include "tools/vantor-receiver/h264nalscan.h"
#include "tools/vantor-receiver/player/player.h"
#include "tools/vantor-receiver/player/steadyclock.h"

namespace vantor::receiver {

namespace {
// Qt stops reading a socket once this much is buffered, so a receiver that stops
// reading really pushes back on the sender.
constexpr qint64 kSocketReadBuffer = 256 * 1024;
// The sender closes both connections together; audio left open longer than this
// after the video ended is closed by us.
constexpr int kAudioGraceMs = 2000;

void printLine(const QString& line)
{
    std::fputs(qPrintable(line + '\n'), stdout);
    std::fflush(stdout);
}
}  // namespace

Cast::Cast(const QHostAddress& peer, const QString& senderName, const ReceiverOptions& options,
           const QString& recordPath, Player* player, QObject* parent)
    : QObject(parent), peer_(peer), options_(options)
{
    if (!recordPath.isEmpty()) recorder_ = std::make_unique<Recorder>(recordPath.toStdString());
    if (player) {
        const QString sender =
            senderName.isEmpty() ? peer_.toString() : senderName + " (" + peer_.toString() + ")";
        playback_ = player->startCast(sender.toStdString());
    }
    std::fprintf(stderr, "cast from %s started%s%s\n", qPrintable(peer_.toString()),
                 recorder_ ? ", recording to " : "", qPrintable(recordPath));
    statusTimer_.setInterval(1000);
    connect(&statusTimer_, &QTimer::timeout, this, &Cast::printStatus);
    statusTimer_.start();
    sinceStatus_.start();
    audioGraceTimer_.setSingleShot(true);
    audioGraceTimer_.setInterval(kAudioGraceMs);
    connect(&audioGraceTimer_, &QTimer::timeout, this, [this] {
        close(audio_);
        afterChannelClosed();
    });
}

Cast::~Cast()
{
    if (!finished_) stop();
}

void Cast::attach(MediaChannel kind, QTcpSocket* socket)
{
    Channel& ch = channel(kind);
    ch.socket = socket;
    ch.used = true;
    socket->setParent(this);
    socket->setReadBufferSize(kSocketReadBuffer);
    std::fprintf(stderr, "%s connection from %s\n", channelName(kind),
                 qPrintable(peer_.toString()));
    connect(socket, &QTcpSocket::readyRead, this, [this, &ch] { read(ch); });
    connect(socket, &QTcpSocket::disconnected, this, [this, &ch] { peerClosed(ch); });
    if (kind == MediaChannel::Video && options_.stopReadingAfter == 0) {
        ch.stalled = true;
        std::fprintf(stderr, "video: not reading (test aid)\n");
        return;
    }
    read(ch);
}

void Cast::read(Channel& ch)
{
    while (ch.socket && !ch.stalled && !ch.parser.failed() && ch.socket->bytesAvailable() > 0) {
        const QByteArray chunk = ch.socket->read(kSocketReadBuffer);
        const int64_t receivedNs = steadyNowNs();
        ch.parser.feed(reinterpret_cast<const uint8_t*>(chunk.constData()), size_t(chunk.size()));
        takeFrames(ch, receivedNs);
    }
    if (ch.socket && ch.parser.failed()) reportError(ch);
}

void Cast::takeFrames(Channel& ch, int64_t receivedNs)
{
    if (ch.kind == MediaChannel::Audio && ch.parser.hasAudioHeader() && !audioHeaderReported_) {
        audioHeaderReported_ = true;
        std::fprintf(stderr, "audio stream: %u channels, %u Hz\n", ch.parser.audioHeader().channels,
                     ch.parser.audioHeader().sampleRate);
    }
    MediaFrame frame;
    while (!ch.stalled && ch.parser.takeFrame(&frame)) {
        handleFrame(ch, frame, receivedNs);
        if (ch.kind == MediaChannel::Video && options_.stopReadingAfter >= 0 &&
            ch.frames >= quint64(options_.stopReadingAfter)) {
            ch.stalled = true;
            std::fprintf(stderr, "video: stopped reading after %llu frames (test aid)\n",
                         static_cast<unsigned long long>(ch.frames));
        }
    }
}

void Cast::handleFrame(Channel& ch, MediaFrame& frame, int64_t receivedNs)
{
    ++ch.frames;
    ch.bytes += frame.payload.size();
    ch.lastTimestamp = frame.timestamp;
    if (ch.kind == MediaChannel::Video) {
        if (!firstVideoSeen_ && !frame.payload.empty()) {
            const AnnexBSummary nal = scanAnnexB(frame.payload.data(), frame.payload.size());
            firstVideoSeen_ = true;
            firstVideoSps_ = nal.hasSps;
            firstVideoPps_ = nal.hasPps;
            firstVideoIdr_ = nal.hasIdr;
        }
        if (recorder_)
            recorder_->addVideo(frame.payload.data(), frame.payload.size(), frame.timestamp);
        if (playback_ && !frame.payload.empty())
            playback_->addVideo(std::move(frame.payload), frame.timestamp, receivedNs);
    } else {
        if (recorder_)
            recorder_->addAudio(frame.payload.data(), frame.payload.size(), frame.timestamp);
        if (playback_ && !frame.payload.empty())
            playback_->addAudio(std::move(frame.payload), frame.timestamp);
    }
}

void Cast::reportError(Channel& ch)
{
    ++errors_;
    std::fprintf(stderr, "vantor-receiver: error from %s: %s; connection closed\n",
                 qPrintable(peer_.toString()), ch.parser.error().c_str());
    close(ch);
    afterChannelClosed();
}

void Cast::peerClosed(Channel& ch)
{
    if (!ch.socket) return;
    if (!ch.stalled) {
        read(ch);
        if (!ch.socket) return;  // closed on an error while reading the rest
        ch.parser.finish();
        if (ch.parser.failed()) return reportError(ch);
    }
    std::fprintf(stderr, "%s connection from %s ended\n", channelName(ch.kind),
                 qPrintable(peer_.toString()));
    close(ch);
    afterChannelClosed();
}

void Cast::close(Channel& ch)
{
    if (!ch.socket) return;
    QTcpSocket* socket = ch.socket;
    ch.socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (recorder_) {
        if (ch.kind == MediaChannel::Video)
            recorder_->endVideo();
        else
            recorder_->endAudio();
    }
}

void Cast::afterChannelClosed()
{
    if (finished_) return;
    if (!video_.socket && !audio_.socket) return finish();
    if (!video_.socket && video_.used && !audioGraceTimer_.isActive()) audioGraceTimer_.start();
    // A video connection we no longer read cannot tell us it was closed; the sender
    // closes both, so the audio end stands for both.
    if (!audio_.socket && audio_.used && video_.stalled) {
        close(video_);
        finish();
    }
}

void Cast::printStatus()
{
    const double seconds = std::max<qint64>(1, sinceStatus_.restart()) / 1000.0;
    const double fps = (video_.frames - videoFramesAtStatus_) / seconds;
    const double kbps = (video_.bytes - videoBytesAtStatus_) * 8.0 / 1000.0 / seconds;
    videoFramesAtStatus_ = video_.frames;
    videoBytesAtStatus_ = video_.bytes;
    QString line = QString(
                       "status peer=%1 video_fps=%2 video_kbps=%3 video_frames=%4 "
                       "audio_frames=%5 last_video_ts=%6 last_audio_ts=%7")
                       .arg(peer_.toString())
                       .arg(fps, 0, 'f', 1)
                       .arg(kbps, 0, 'f', 1)
                       .arg(video_.frames)
                       .arg(audio_.frames)
                       .arg(video_.lastTimestamp)
                       .arg(audio_.lastTimestamp);
    if (playback_) {
        const double latency = playback_->takeReceiveToPresentMedianMs();
        line += " receive_to_present_ms_p50=" +
                (latency < 0 ? QString("-") : QString::number(latency, 'f', 1));
    }
    printLine(line);
}

void Cast::stop()
{
    if (finished_) return;
    read(video_);
    read(audio_);
    close(video_);
    close(audio_);
    finish();
}

void Cast::finish()
{
    if (finished_) return;
    finished_ = true;
    statusTimer_.stop();
    audioGraceTimer_.stop();
    close(video_);
    close(audio_);
    QString recording = "none";
    if (recorder_) {
        const bool ok = recorder_->finish();
        recording = ok ? "ok" : "failed";
        if (ok)
            std::fprintf(stderr, "recorded %lld video and %lld audio frames to %s\n",
                         static_cast<long long>(recorder_->videoPacketsWritten()),
                         static_cast<long long>(recorder_->audioPacketsWritten()),
                         recorder_->path().c_str());
        else
            std::fprintf(stderr, "vantor-receiver: recording %s: %s\n", recorder_->path().c_str(),
                         recorder_->error().c_str());
    }
    if (playback_) playback_->end(errors_ > 0);
    const AudioStreamHeader audio = audio_.parser.audioHeader();
    QString line = QString(
                       "cast-summary peer=%1 video_frames=%2 audio_frames=%3 video_bytes=%4 "
                       "audio_bytes=%5 first_video_sps=%6 first_video_pps=%7 "
                       "first_video_idr=%8 channels=%9 rate=%10 errors=%11 recording=%12")
                       .arg(peer_.toString())
                       .arg(video_.frames)
                       .arg(audio_.frames)
                       .arg(video_.bytes)
                       .arg(audio_.bytes)
                       .arg(int(firstVideoSps_))
                       .arg(int(firstVideoPps_))
                       .arg(int(firstVideoIdr_))
                       .arg(audio.channels)
                       .arg(audio.sampleRate)
                       .arg(errors_)
                       .arg(recording);
    if (playback_)
        line += QString(
                    " presented_frames=%1 replaced_frames=%2 sound_frames_played=%3 "
                    "sound_frames_late=%4")
                    .arg(playback_->presentedFrames())
                    .arg(playback_->droppedFrames())
                    .arg(playback_->soundPlayed())
                    .arg(playback_->soundDroppedLate());
    printLine(line);
    emit finished(this);
}

}  // namespace vantor::receiver
