// Casting cost and latency: the whole session (test picture, test tone, real
// encoders, Senders) streaming to vantor-receiver peers on 127.0.0.2.. .
//   cast_bench --receivers N --seconds S [--width 1920 --fps 25 --bitrate 8]
//              [--source test|screen]
// The test picture compresses far below the bit rate asked for; the X screen
// ($DISPLAY) kept moving with noise on it fills the bit rate.
// Prints one line: CPU seconds per second of streaming (this process: capture,
// encoding and fan-out; the receivers run elsewhere), capture-to-wire latency
// (packet timestamp to its last byte written) p50/p99, encoder time p50/p95,
// and what the receivers got: a receiver still served at the end (never cut off
// as too slow) is healthy, and every video frame we wrote to it must have
// arrived (its cast-summary's count), none dropped or flushed.
#include <sys/resource.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "Comm/logging.h"
#include "Comm/stagetimes.h"
#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "src/session/screensender.h"
#include "src/transport/packet.h"
#include "src/transport/sendstats.h"

namespace {

// CPU seconds this process spent so far, in its own code (user) and in the
// kernel on its behalf (system: socket writes, and over loopback also much of the
// receivers' side of TCP, which a network card would take off us).
struct CpuTime {
    double user = 0;
    double system = 0;
    double total() const { return user + system; }
};

CpuTime cpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
            usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * (values.size() - 1) + 0.5))];
}

// Runs the event loop for `ms` without spinning a core (the CPU figures count it).
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The number after "key=" in the receiver's latest "cast-summary" line, or -1.
long long summaryField(const QString& path, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    QString summary;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
        if (line.startsWith("cast-summary ")) summary = line;
    for (const QString& part : summary.split(' '))
        if (part.startsWith(key + "=")) return part.mid(key.size() + 1).toLongLong();
    return -1;
}

bool listening(const QString& address)
{
    for (int i = 0; i < 100; ++i) {
        QTcpSocket probe;
        probe.connectToHost(address, 43575);
        if (probe.waitForConnected(100)) return true;
        QThread::msleep(50);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QCoreApplication app(argc, argv);
    vantor::initLogging(false);
    qSetMessagePattern("");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    QCommandLineParser parser;
    parser.addOptions({{"receivers", "N", "N", "1"},
                       {"seconds", "S", "S", "10"},
                       {"width", "W", "W", "1920"},
                       {"fps", "F", "F", "25"},
                       {"bitrate", "M", "M", "8"},
                       {"source", "test|screen", "SOURCE", "test"},
                       {"receiver-program", "P", "P", "vantor-receiver"}});
    parser.process(app);
    const int receivers = parser.value("receivers").toInt();
    const int seconds = parser.value("seconds").toInt();

    std::vector<std::unique_ptr<QProcess>> peers;
    QStringList addresses;
    QTemporaryDir outputs;
    const auto outputOf = [&outputs](const QString& address) {
        return outputs.filePath(address + ".out");
    };
    for (int i = 0; i < receivers; ++i) {
        const QString address = QString("127.0.0.%1").arg(2 + i);
        auto peer = std::make_unique<QProcess>();
        peer->setStandardOutputFile(outputOf(address));
        peer->setStandardErrorFile(QProcess::nullDevice());
        peer->start(parser.value("receiver-program"),
                    {"--bind", address, "--no-announce", "--answer", "accept"});
        if (!peer->waitForStarted(5000) || !listening(address)) {
            std::fprintf(stderr, "cast_bench: receiver on %s did not come up\n",
                         qPrintable(address));
            return 1;
        }
        peers.push_back(std::move(peer));
        addresses << address;
    }

    Capture::setVideoSource(parser.value("source") == "screen" ? VideoSourceKind::Screen
                                                               : VideoSourceKind::TestPicture);
    Capture::setAudioSource(AudioSourceKind::TestTone);
    ScreenSender* session = ScreenSender::instance();
    session->setQualityOverrides({parser.value("fps").toInt(), parser.value("bitrate").toInt(),
                                  parser.value("width").toInt()});

    // Lock-free: with 32 receivers the Senders write each packet at nearly the same
    // moment, and a lock here would make them queue up in the benchmark itself.
    StageTimes latency;
    std::atomic<bool> measuring{false};
    session->sendContext()->onPacketWritten = [&](int mediaType, const Packet& packet) {
        if (mediaType != 0 || !measuring) return;
        const int64_t start = session->captureStartNs();
        if (start == 0) return;
        const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        latency.record(now - start - int64_t(packet.timestamp) * 1000000);
    };

    int accepted = 0;
    QObject::connect(session, &ScreenSender::beginSend, [&] { ++accepted; });
    for (const QString& address : addresses) {
        const int before = accepted;
        session->start(address);
        QElapsedTimer wait;
        wait.start();
        while (accepted == before && wait.elapsed() < 10000) spin(20);
    }
    spin(1500);  // warm-up: encoder start, first key frame, socket buffers

    // Wire bytes (both channels) to all receivers, for the stream's real rate.
    const auto bytesSent = [&] {
        uint64_t bytes = 0;
        for (const QString& address : addresses)
            if (auto stats = session->statsFor(address)) bytes += stats->bytes;
        return bytes;
    };
    const uint64_t bytesBefore = bytesSent();
    const size_t encodeBefore = DesktopSharing::instance().encodeTimesMs().size();
    const CpuTime cpuBefore = cpuTime();
    QElapsedTimer wall;
    wall.start();
    measuring = true;
    spin(seconds * 1000);
    measuring = false;
    const CpuTime cpuAfter = cpuTime();
    const double cpu = cpuAfter.total() - cpuBefore.total();
    const double cpuSystem = cpuAfter.system - cpuBefore.system;
    const double elapsed = wall.elapsed() / 1000.0;
    const double mbpsPerReceiver =
        (bytesSent() - bytesBefore) * 8 / 1e6 / elapsed / std::max(1, receivers);
    std::vector<double> encodeMs = DesktopSharing::instance().encodeTimesMs();
    encodeMs.erase(encodeMs.begin(), encodeMs.begin() + std::min(encodeBefore, encodeMs.size()));

    uint64_t dropped = 0, flushed = 0;
    for (const QString& address : addresses) {
        if (auto stats = session->statsFor(address)) {
            dropped += stats->videoDropped;
            flushed += stats->flushed;
        }
        session->stop(address);
    }
    // Every Sender has closed its channels, every receiver has said what it got.
    QElapsedTimer ending;
    ending.start();
    const auto allSummed = [&] {
        for (const QString& address : addresses) {
            const auto stats = session->statsFor(address);
            if ((stats && !stats->finished) || summaryField(outputOf(address), "video_frames") < 0)
                return false;
        }
        return true;
    };
    while (!allSummed() && ending.elapsed() < 20000) spin(50);
    session->deleteThis();

    int healthy = 0;
    uint64_t sentMin = 0, lost = 0;
    for (const QString& address : addresses) {
        const auto stats = session->statsFor(address);
        if (!stats || stats->cutOffAtNs != 0 || stats->end != StreamEnd::Completed) continue;
        ++healthy;
        const uint64_t sent = stats->videoPackets;
        const long long received = summaryField(outputOf(address), "video_frames");
        sentMin = healthy == 1 ? sent : std::min(sentMin, sent);
        const uint64_t missing =
            received < 0 ? sent : sent - std::min<uint64_t>(sent, uint64_t(received));
        lost += missing + stats->videoDropped + stats->flushed;
        if (missing > 0 || summaryField(outputOf(address), "errors") != 0)
            std::fprintf(stderr, "cast_bench: %s got %lld of %llu video frames, %lld errors\n",
                         qPrintable(address), received, (unsigned long long)sent,
                         summaryField(outputOf(address), "errors"));
    }

    const std::vector<double> latencyMs = latency.milliseconds();
    std::printf(
        "receivers=%d seconds=%.1f cpu_s_per_s=%.3f latency_p50_ms=%.2f latency_p99_ms=%.2f "
        "latency_samples=%zu encode_p50_ms=%.2f encode_p95_ms=%.2f encode_frames=%zu "
        "dropped=%llu flushed=%llu healthy=%d video_sent_min=%llu video_lost=%llu "
        "mbps_per_receiver=%.2f cpu_system_s_per_s=%.3f\n",
        receivers, elapsed, cpu / elapsed, percentile(latencyMs, 0.5), percentile(latencyMs, 0.99),
        latencyMs.size(), percentile(encodeMs, 0.5), percentile(encodeMs, 0.95), encodeMs.size(),
        (unsigned long long)dropped, (unsigned long long)flushed, healthy,
        (unsigned long long)sentMin, (unsigned long long)lost, mbpsPerReceiver,
        cpuSystem / elapsed);
    for (auto& peer : peers) {
        peer->terminate();
        peer->waitForFinished(3000);
    }
    return 0;
}
