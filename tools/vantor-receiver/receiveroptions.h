// Command line of vantor-receiver.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace vantor::receiver {

enum class AnswerMode { Ask, Accept, Refuse, Busy };

struct ReceiverOptions {
    QHostAddress bindAddress{QHostAddress::AnyIPv4};
    QString code;
    QString name;
    bool announce = true;
    QString announceHost;  // empty: multicast
    quint16 announcePort = 0;
    AnswerMode answer = AnswerMode::Accept;
    int answerDelayMs = 0;
    QString recordPath;
    int seconds = 0;            // 0: run until stopped
    int stopReadingAfter = -1;  // -1: always read the video connection
    bool play = false;          // show the picture in a window, play the sound
    bool fullscreen = false;
    QString latencyLogPath;  // with play: one line per video frame
};

constexpr int kExitUsage = 64;
constexpr int kExitCannotBind = 1;
constexpr int kExitCannotPlay = 2;

// Parses arguments (argv[0] first). On a usage error or --help/--version it prints
// to stderr/stdout and returns false with *exitCode set.
bool parseReceiverOptions(const QStringList& arguments, ReceiverOptions* options, int* exitCode);

// FILE for the first cast, FILE with "-2", "-3", ... before the extension for the next.
QString recordingPathForCast(const QString& path, int castNumber);

}  // namespace vantor::receiver
