#include "tools/vantor-receiver/receiveroptions.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHostInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cstdio>

namespace vantor::receiver {

namespace {

bool usageError(const QString& message, int* exitCode)
{
    std::fprintf(stderr, "vantor-receiver: %s\n(see --help)\n", qPrintable(message));
    *exitCode = kExitUsage;
    return false;
}

bool parseCount(const QString& text, int minimum, int* value)
{
    bool ok = false;
    const int parsed = text.toInt(&ok);
    if (!ok || parsed < minimum) return false;
    *value = parsed;
    return true;
}

QString randomCode()
{
    return QString::number(QRandomGenerator::system()->bounded(1000000)).rightJustified(6, '0');
}

const char kDescription[] =
    "Companion receiver for Vantor casts on Linux: announces itself with a cast code,\n"
    "answers cast requests on TCP 43575, receives the H.264 video (TCP 43572) and ADTS AAC\n"
    "audio (TCP 43573) streams, checks their framing, prints a status line every second and\n"
    "a \"cast-summary\" line per cast, and can record each cast to a file and show it\n"
    "in a window with its sound (--play).\n"
    "Exit codes: 0 normal end, 64 usage error, 1 cannot bind, 2 cannot open the window.";

}  // namespace

bool parseReceiverOptions(const QStringList& arguments, ReceiverOptions* options, int* exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    const QCommandLineOption bind("bind", "Listen and announce from ADDR (default 0.0.0.0).",
                                  "ADDR", "0.0.0.0");
    const QCommandLineOption code("code", "Six-digit cast code (default: random).", "NNNNNN");
    const QCommandLineOption name("name", "Display name (default: host name).", "TEXT");
    const QCommandLineOption announceTo(
        "announce-to", "Announce by unicast to HOST:PORT instead of multicast.", "HOST:PORT");
    const QCommandLineOption noAnnounce("no-announce", "Do not announce.");
    const QCommandLineOption answer(
        "answer",
        "Answer to cast requests: ask, accept, refuse or busy (default: ask on a terminal, "
        "else accept).",
        "MODE");
    const QCommandLineOption answerDelay("answer-delay-ms", "Wait N ms before answering.", "N",
                                         "0");
    const QCommandLineOption record(
        "record", "Record each cast to FILE (.mkv or .mp4); later casts to FILE-2, FILE-3...",
        "FILE");
    const QCommandLineOption seconds("seconds", "Stop after N seconds.", "N");
    const QCommandLineOption stopReading(
        "stop-reading-after",
        "Test aid: stop reading the video connection after N frames and keep it open unread, "
        "to exercise a sender's slow-receiver handling.",
        "N");
    const QCommandLineOption play(
        "play", "Show each cast in a window and play its sound (needs a display).");
    const QCommandLineOption fullscreen("fullscreen", "With --play: the window fills the screen.");
    const QCommandLineOption latencyLog(
        "latency-log",
        "With --play: write one line per video frame to FILE: its frame number (from the test "
        "picture), when it was received, decoded and presented (steady clock, ns).",
        "FILE");
    parser.addOptions({bind, code, name, announceTo, noAnnounce, answer, answerDelay, record,
                       seconds, stopReading, play, fullscreen, latencyLog});

    if (!parser.parse(arguments)) return usageError(parser.errorText(), exitCode);
    if (parser.isSet("help")) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        *exitCode = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument " + parser.positionalArguments().first(), exitCode);

    if (!options->bindAddress.setAddress(parser.value(bind)) ||
        options->bindAddress.protocol() != QAbstractSocket::IPv4Protocol)
        return usageError("--bind needs an IPv4 address, not " + parser.value(bind), exitCode);

    options->code = parser.isSet(code) ? parser.value(code) : randomCode();
    if (!QRegularExpression("^[0-9]{6}$").match(options->code).hasMatch())
        return usageError("--code must be six digits, not " + options->code, exitCode);

    options->name = parser.isSet(name) ? parser.value(name) : QHostInfo::localHostName();
    options->name = options->name.trimmed();
    if (options->name.isEmpty()) options->name = "vantor-receiver";
    if (options->name.contains("#:#") || options->name.contains('\n') ||
        options->name.contains(QChar(0)))
        return usageError("--name must not contain \"#:#\", a line feed or a zero byte", exitCode);

    options->announce = !parser.isSet(noAnnounce);
    if (parser.isSet(announceTo)) {
        const QString target = parser.value(announceTo);
        const int colon = target.lastIndexOf(':');
        int port = 0;
        if (colon <= 0 || !parseCount(target.mid(colon + 1), 1, &port) || port > 65535)
            return usageError("--announce-to needs HOST:PORT, not " + target, exitCode);
        options->announceHost = target.left(colon);
        options->announcePort = quint16(port);
    }

    const QString mode =
        parser.isSet(answer) ? parser.value(answer) : (isatty(STDIN_FILENO) ? "ask" : "accept");
    if (mode == "ask")
        options->answer = AnswerMode::Ask;
    else if (mode == "accept")
        options->answer = AnswerMode::Accept;
    else if (mode == "refuse")
        options->answer = AnswerMode::Refuse;
    else if (mode == "busy")
        options->answer = AnswerMode::Busy;
    else
        return usageError("--answer must be ask, accept, refuse or busy", exitCode);

    if (!parseCount(parser.value(answerDelay), 0, &options->answerDelayMs))
        return usageError("--answer-delay-ms needs a number >= 0", exitCode);

    if (parser.isSet(record)) {
        options->recordPath = parser.value(record);
        const QString suffix = QFileInfo(options->recordPath).suffix().toLower();
        if (suffix != "mkv" && suffix != "mp4")
            return usageError("--record needs a file name ending in .mkv or .mp4", exitCode);
    }
    if (parser.isSet(seconds) && !parseCount(parser.value(seconds), 1, &options->seconds))
        return usageError("--seconds needs a number >= 1", exitCode);
    if (parser.isSet(stopReading) &&
        !parseCount(parser.value(stopReading), 0, &options->stopReadingAfter))
        return usageError("--stop-reading-after needs a number >= 0", exitCode);
    options->play = parser.isSet(play);
    options->fullscreen = parser.isSet(fullscreen);
    options->latencyLogPath = parser.value(latencyLog);
    if (!options->play && (options->fullscreen || parser.isSet(latencyLog)))
        return usageError("--fullscreen and --latency-log need --play", exitCode);
    if (parser.isSet(latencyLog) && options->latencyLogPath.isEmpty())
        return usageError("--latency-log needs a file name", exitCode);
    return true;
}

QString recordingPathForCast(const QString& path, int castNumber)
{
    if (castNumber <= 1) return path;
    const int dot = path.lastIndexOf('.');
    const int slash = path.lastIndexOf('/');
    const QString suffix = "-" + QString::number(castNumber);
    if (dot <= slash + 1) return path + suffix;
    return path.left(dot) + suffix + path.mid(dot);
}

}  // namespace vantor::receiver
