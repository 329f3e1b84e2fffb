// vantor-cast send --to CODE|ADDRESS [--to ...] --seconds N [--source ...] ...:
// asks every receiver, streams one capture to all that accept for N seconds,
// stops cleanly and prints one summary line per receiver, one line per stage of
// the pictures' way to the wire, and the encoder's per-frame time.
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "libcapture/desktopsharing/testsources/framecapturelog.h"
#include "libcapture/screencapturelib/monitor.h"
#include "libcapture/screencapturelib/screencapturelib.h"
#include "src/session/screensender.h"
#include "tools/vantor-cast/commandline.h"
#include "tools/vantor-cast/receiverresolver.h"
#include "tools/vantor-cast/sendsummary.h"
#include "tools/vantor-cast/subcommand.h"

namespace {

// What --source selects. Sources are looked up in kSources; a new source is one
// more row (and, if it names a window or a screen, the capture mode it needs).
struct SourceChoice {
    VideoSourceKind kind = VideoSourceKind::TestPicture;
    int captureMode = 0;
    uintptr_t window = 0;
};

// screen (the main monitor), extended (the last monitor), window:ID (an id as
// `vantor-cast windows` prints it, hexadecimal with 0x or decimal), or test.
bool parseSource(const QString& text, SourceChoice& choice)
{
    if (text == QLatin1String("screen")) {
        choice = {VideoSourceKind::Screen, 0, 0};
        return true;
    }
    if (text == QLatin1String("extended")) {
        choice = {VideoSourceKind::Screen, 1, 0};
        return true;
    }
    if (text.startsWith(QLatin1String("window:"))) {
        bool ok = false;
        const qulonglong id = text.mid(7).toULongLong(&ok, 0);
        if (!ok || id == 0) return false;
        choice = {VideoSourceKind::Screen, 2, static_cast<uintptr_t>(id)};
        return true;
    }
    if (text == QLatin1String("test")) {
        choice = {VideoSourceKind::TestPicture, 0, 0};
        return true;
    }
    return false;
}

// A receiver that accepted and then gets nothing is the worst outcome: say now
// when there is nothing to capture, before anyone is asked.
bool sourceIsThere(const SourceChoice& choice, QString& why)
{
    if (choice.kind != VideoSourceKind::Screen) return true;
    if (ScreenCaptureLib::getMonitors().empty()) {
        why = QStringLiteral("no monitor to capture (is DISPLAY set?)");
        return false;
    }
    if (choice.captureMode == 2 && findWindow(choice.window).empty()) {
        why = QStringLiteral("no window 0x%1 (see vantor-cast windows)")
                  .arg(static_cast<qulonglong>(choice.window), 0, 16);
        return false;
    }
    return true;
}

bool parseAudio(const QString& text, AudioSourceKind& kind)
{
    if (text == QLatin1String("system"))
        kind = AudioSourceKind::System;
    else if (text == QLatin1String("test"))
        kind = AudioSourceKind::TestTone;
    else if (text == QLatin1String("none"))
        kind = AudioSourceKind::None;
    else
        return false;
    return true;
}

bool parseChoice(const QCommandLineParser& parser, const QCommandLineOption& option,
                 const std::vector<int>& allowed, std::optional<int32_t>& value)
{
    if (!parser.isSet(option)) return true;
    bool ok = false;
    const int parsed = parser.value(option).toInt(&ok);
    if (!ok || std::find(allowed.begin(), allowed.end(), parsed) == allowed.end()) {
        QStringList names;
        for (int v : allowed) names << QString::number(v);
        commandline::printUsageError(
            QStringLiteral("--%1 takes %2, not '%3'")
                .arg(option.names().first(), names.join('|'), parser.value(option)));
        return false;
    }
    value = parsed;
    return true;
}

struct Receiver {
    QString target;   // as given
    QString address;  // resolved; empty when the code was not heard
    QString answer = QStringLiteral("timeout");
    bool ended = false;
};

// Runs the event loop until done() holds or timeoutMs pass. The loop sleeps
// between events: done() is checked on a 20 ms timer, never in a busy loop.
void waitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (done()) return;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(20);
    // Precise: a coarse timer may fire 5 % early, and an 8 s cast would last 7.6 s.
    QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Starts the cast to one receiver and waits for its answer (filled in by the
// session's answered signal, see runSend).
void ask(ScreenSender* session, Receiver& receiver, int timeoutMs)
{
    session->start(receiver.address);
    waitFor([&receiver] { return receiver.answer != QLatin1String("timeout"); }, timeoutMs);
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(fraction * (values.size() - 1) + 0.5));
    return values[index];
}

int runSend(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Casts to every receiver given with --to for N seconds and prints a summary line per "
        "receiver. Exits 0 only when every receiver accepted and received the stream."));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Six-digit cast code or address; repeatable."),
                                      QStringLiteral("CODE|ADDRESS"));
    const QCommandLineOption secondsOption(
        QStringLiteral("seconds"), QStringLiteral("Stream for N seconds."), QStringLiteral("N"));
    const QCommandLineOption sourceOption(
        QStringLiteral("source"),
        QStringLiteral("What to cast: screen (default), extended, window:ID or test."),
        QStringLiteral("SOURCE"), QStringLiteral("screen"));
    const QCommandLineOption audioOption(
        QStringLiteral("audio"),
        QStringLiteral("Audio: system, test or none (default: test with --source test, "
                       "else system)."),
        QStringLiteral("AUDIO"));
    const QCommandLineOption fpsOption(QStringLiteral("fps"), QStringLiteral("20, 25 or 30."),
                                       QStringLiteral("FPS"));
    const QCommandLineOption bitrateOption(QStringLiteral("bitrate"),
                                           QStringLiteral("Mbit/s: 4, 6, 8 or 10."),
                                           QStringLiteral("MBPS"));
    const QCommandLineOption resolutionOption(QStringLiteral("resolution"),
                                              QStringLiteral("Width: 640, 1280, 1920 or 3840."),
                                              QStringLiteral("WIDTH"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"), QStringLiteral("Wait S seconds for each answer (default 10)."),
        QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption latencyLogOption(
        QStringLiteral("latency-log"),
        QStringLiteral("With --source test: write one line per captured frame (frame number, "
                       "steady-clock time) to FILE."),
        QStringLiteral("FILE"));
    for (const auto* option :
         {&toOption, &secondsOption, &sourceOption, &audioOption, &fpsOption, &bitrateOption,
          &resolutionOption, &timeoutOption, &latencyLogOption})
        parser.addOption(*option);
    int exitCode = 0;
    if (!commandline::parse(parser, arguments, exitCode)) return exitCode;
    if (parser.isSet(latencyLogOption) &&
        !FrameCaptureLog::open(parser.value(latencyLogOption).toStdString())) {
        std::fprintf(stderr, "vantor-cast: cannot write %s\n",
                     qPrintable(parser.value(latencyLogOption)));
        return 1;
    }

    const QStringList targets = parser.values(toOption);
    if (targets.isEmpty() || !parser.isSet(secondsOption)) {
        commandline::printUsageError(QStringLiteral("send needs --to and --seconds"));
        return kUsageExitCode;
    }
    int seconds = 0, timeoutSeconds = 10;
    if (!commandline::positiveInt(parser, secondsOption.names().first(), seconds) ||
        !commandline::positiveInt(parser, timeoutOption.names().first(), timeoutSeconds))
        return kUsageExitCode;
    SourceChoice source;
    if (!parseSource(parser.value(sourceOption), source)) {
        commandline::printUsageError(
            QStringLiteral("unknown --source '%1'").arg(parser.value(sourceOption)));
        return kUsageExitCode;
    }
    QString why;
    if (!sourceIsThere(source, why)) {
        std::fprintf(stderr, "vantor-cast: nothing to cast: %s\n", qPrintable(why));
        return 1;
    }
    // The test picture comes with the test tone unless asked otherwise: a
    // synthetic cast needs no sound server.
    AudioSourceKind audio = source.kind == VideoSourceKind::TestPicture ? AudioSourceKind::TestTone
                                                                        : AudioSourceKind::System;
    if (parser.isSet(audioOption) && !parseAudio(parser.value(audioOption), audio)) {
        commandline::printUsageError(
            QStringLiteral("unknown --audio '%1'").arg(parser.value(audioOption)));
        return kUsageExitCode;
    }
    QualityOverrides overrides;
    if (!parseChoice(parser, fpsOption, {20, 25, 30}, overrides.fps) ||
        !parseChoice(parser, bitrateOption, {4, 6, 8, 10}, overrides.bitrateMbps) ||
        !parseChoice(parser, resolutionOption, {640, 1280, 1920, 3840}, overrides.width))
        return kUsageExitCode;

    Capture::setVideoSource(source.kind);
    Capture::setAudioSource(audio);
    ScreenSender* session = ScreenSender::instance();
    session->setQualityOverrides(overrides);
    session->setCaptureTarget(source.captureMode, source.window);
    session->setNetworkErrorHandler([](QString host) {
        std::fprintf(stderr, "vantor-cast: cannot reach %s\n", qPrintable(host));
    });
    QString captureFailure;
    QObject::connect(session, &ScreenSender::captureFailed,
                     [&captureFailure](QString reason) { captureFailure = reason; });

    std::vector<Receiver> receivers;
    for (const QString& target : targets) receivers.push_back({target.trimmed(), {}});
    // An answer that comes after its time-out still counts (the receiver is served).
    QObject::connect(session, &ScreenSender::answered, [&](QString host, QString answer) {
        for (Receiver& receiver : receivers)
            if (receiver.address == host) receiver.answer = answer;
    });
    QObject::connect(session, &ScreenSender::senderEnded, [&](QString host) {
        for (Receiver& receiver : receivers)
            if (receiver.address == host) receiver.ended = true;
    });

    // Receivers are asked one after the other: the session keeps one command
    // channel, and a receiver that accepts late joins the running capture.
    QElapsedTimer streaming;
    int64_t castStartNs = 0;
    for (Receiver& receiver : receivers) {
        receiver.address = receiverresolver::resolve(receiver.target, timeoutSeconds * 1000);
        if (receiver.address.isEmpty()) {
            receiver.answer = QStringLiteral("unknown-code");
            continue;
        }
        ask(session, receiver, timeoutSeconds * 1000);
        if (receiver.answer == QLatin1String("accept") && !streaming.isValid()) {
            streaming.start();
            castStartNs = steadyClockNs();
        }
    }
    if (streaming.isValid()) {
        const qint64 left = qint64(seconds) * 1000 - streaming.elapsed();
        // Over early when no receiver is left to serve.
        const auto nobodyLeft = [&] {
            for (const Receiver& receiver : receivers)
                if (receiver.answer == QLatin1String("accept") && !receiver.ended) return false;
            return true;
        };
        if (left > 0) waitFor(nobodyLeft, int(left));
    }

    const std::vector<double> encodeMs = DesktopSharing::instance().encodeTimesMs();
    const VideoStageTimes& pipelineStages = DesktopSharing::instance().videoStageTimes();
    const std::vector<double> captureWaitMs = pipelineStages.captureWait.milliseconds();
    const std::vector<double> conversionMs = pipelineStages.conversion.milliseconds();
    const std::vector<double> encoderMs = pipelineStages.encode.milliseconds();
    for (Receiver& receiver : receivers)
        if (receiver.answer == QLatin1String("accept")) session->stop(receiver.address);
    waitFor(
        [&] {
            for (const Receiver& receiver : receivers)
                if (receiver.answer == QLatin1String("accept") && !receiver.ended) return false;
            return true;
        },
        15000);
    session->deleteThis();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QTextStream out(stdout);
    QTextStream errors(stderr);
    bool allServed = true;
    for (const Receiver& receiver : receivers) {
        const auto stats =
            receiver.address.isEmpty() ? nullptr : session->statsFor(receiver.address);
        allServed = sendsummary::report({receiver.target, receiver.address, receiver.answer, stats},
                                        castStartNs, out, errors) &&
                    allServed;
    }
    errors.flush();
    // The Senders have ended: their figures are complete.
    sendsummary::reportStage("capture_wait", captureWaitMs, out);
    sendsummary::reportStage("conversion", conversionMs, out);
    sendsummary::reportStage("encode", encoderMs, out);
    sendsummary::reportStage("queueing", session->sendContext()->videoQueueing.milliseconds(), out);
    sendsummary::reportStage("socket_write",
                             session->sendContext()->videoSocketWrite.milliseconds(), out);
    out << QString("encode frames=%1 p50_ms=%2 p95_ms=%3\n")
               .arg(encodeMs.size())
               .arg(percentile(encodeMs, 0.50), 0, 'f', 2)
               .arg(percentile(encodeMs, 0.95), 0, 'f', 2);
    // The X server went away mid-cast: what was sent is valid, but the cast did not
    // deliver what was asked for.
    if (ScreenCaptureLib::displayLost()) {
        out << "cast failed: display lost\n";
        out.flush();
        return 1;
    }
    if (!captureFailure.isEmpty()) {
        out << "cast failed: " << captureFailure << '\n';
        out.flush();
        return 1;
    }
    out.flush();
    return allServed ? 0 : 1;
}

}  // namespace

extern const Subcommand kSendCommand;
const Subcommand kSendCommand = {"send", "cast to one or more receivers for N seconds", runSend};
