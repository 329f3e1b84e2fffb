// Casting cost and latency: the whole session (test picture, test tone, real
// encoders, Senders) streaming to vantor-receiver peers on 127.0.0.2.. .
//   cast_bench --receivers N --seconds S [--width 1920 --fps 25 --bitrate 8]
// Prints one line: CPU seconds per second of streaming (this process: capture,
// encoding and fan-out; the receivers run elsewhere), capture-to-wire latency
// (packet timestamp to its last byte written) p50/p99, encoder time p50/p95.
#include <sys/resource.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
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
#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "src/session/screensender.h"
#include "src/transport/packet.h"

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
                       {"receiver-program", "P", "P", "vantor-receiver"}});
    parser.process(app);
    const int receivers = parser.value("receivers").toInt();
    const int seconds = parser.value("seconds").toInt();

    std::vector<std::unique_ptr<QProcess>> peers;
    QStringList addresses;
    for (int i = 0; i < receivers; ++i) {
        const QString address = QString("127.0.0.%1").arg(2 + i);
        auto peer = std::make_unique<QProcess>();
        peer->setStandardOutputFile(QProcess::nullDevice());
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

    Capture::setVideoSource(VideoSourceKind::TestPicture);
    Capture::setAudioSource(AudioSourceKind::TestTone);
    ScreenSender* session = ScreenSender::instance();
    session->setQualityOverrides({parser.value("fps").toInt(), parser.value("bitrate").toInt(),
                                  parser.value("width").toInt()});

    std::mutex latencyMutex;
    std::vector<double> latencyMs;
    std::atomic<bool> measuring{false};
    session->sendContext()->onPacketWritten = [&](int mediaType, const Packet& packet) {
        if (mediaType != 0 || !measuring) return;
        const int64_t start = session->captureStartNs();
        if (start == 0) return;
        const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        std::lock_guard<std::mutex> lock(latencyMutex);
        latencyMs.push_back((now - start) / 1e6 - packet.timestamp);
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

    const size_t encodeBefore = DesktopSharing::instance().encodeTimesMs().size();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    measuring = true;
    spin(seconds * 1000);
    measuring = false;
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = wall.elapsed() / 1000.0;
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
    spin(1000);
    session->deleteThis();

    std::lock_guard<std::mutex> lock(latencyMutex);
    std::printf(
        "receivers=%d seconds=%.1f cpu_s_per_s=%.3f latency_p50_ms=%.2f latency_p99_ms=%.2f "
        "latency_samples=%zu encode_p50_ms=%.2f encode_p95_ms=%.2f encode_frames=%zu "
        "dropped=%llu flushed=%llu\n",
        receivers, elapsed, cpu / elapsed, percentile(latencyMs, 0.5), percentile(latencyMs, 0.99),
        latencyMs.size(), percentile(encodeMs, 0.5), percentile(encodeMs, 0.95), encodeMs.size(),
        (unsigned long long)dropped, (unsigned long long)flushed);
    for (auto& peer : peers) {
        peer->terminate();
        peer->waitForFinished(3000);
    }
    return 0;
}
