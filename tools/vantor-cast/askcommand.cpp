// vantor-cast ask --to CODE|ADDRESS [--timeout S]: ask a receiver over the
// command channel whether we may cast, and print its answer.
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include "src/command/commandclient.h"
#include "tools/vantor-cast/commandline.h"
#include "tools/vantor-cast/receiverresolver.h"
#include "tools/vantor-cast/subcommand.h"

namespace {

struct Answer {
    const char* word;
    int exitCode;
};
constexpr Answer kAccept{"accept", 0};
constexpr Answer kRefuse{"refuse", 1};
constexpr Answer kBusy{"busy", 2};
constexpr Answer kError{"error", 3};  // unreachable, or the cast code was not heard
constexpr Answer kTimeout{"timeout", 4};

Answer askReceiver(const QString& address, const QDeadlineTimer& deadline)
{
    CommandClient client;
    QEventLoop loop;
    Answer answer = kTimeout;
    auto finish = [&](Answer given) {
        answer = given;
        loop.quit();
    };
    QObject::connect(&client, &CommandClient::accept, &loop, [&] { finish(kAccept); });
    QObject::connect(&client, &CommandClient::refuse, &loop, [&] { finish(kRefuse); });
    QObject::connect(&client, &CommandClient::busy, &loop, [&] { finish(kBusy); });
    QObject::connect(&client, &CommandClient::error, &loop, [&] { finish(kError); });
    QTimer::singleShot(qMax<qint64>(0, deadline.remainingTime()), &loop, &QEventLoop::quit);
    client.connectTo(address);
    loop.exec();
    return answer;
}

int runAsk(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Asks a receiver whether we may cast to it. Prints accept, refuse, busy, error or "
        "timeout and exits with 0, 1, 2, 3 or 4."));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Six-digit cast code or address."),
                                      QStringLiteral("CODE|ADDRESS"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Give up after S seconds (default 10)."),
                                           QStringLiteral("S"), QStringLiteral("10"));
    parser.addOption(toOption);
    parser.addOption(timeoutOption);
    int exitCode = 0;
    if (!commandline::parse(parser, arguments, exitCode)) return exitCode;
    const QString target = parser.value(toOption).trimmed();
    if (target.isEmpty()) {
        commandline::printUsageError(QStringLiteral("ask needs --to CODE|ADDRESS"));
        return kUsageExitCode;
    }
    int timeoutSeconds = 10;
    if (!commandline::positiveInt(parser, timeoutOption.names().first(), timeoutSeconds))
        return kUsageExitCode;

    const QDeadlineTimer deadline(qint64(timeoutSeconds) * 1000);
    const QString address = receiverresolver::resolve(target, int(deadline.remainingTime()));
    const Answer answer = address.isEmpty() ? kError : askReceiver(address, deadline);
    QTextStream(stdout) << answer.word << '\n';
    return answer.exitCode;
}

}  // namespace

const Subcommand kAskCommand = {"ask", "ask a receiver whether we may cast to it", runAsk};
