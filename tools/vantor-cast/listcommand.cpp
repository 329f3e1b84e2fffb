// vantor-cast list [--seconds N]: listen to announcements for N seconds, then
// print one line per live receiver, "code<TAB>name<TAB>address", by cast code.
#include <QCommandLineParser>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <algorithm>

#include "src/discovery/codereceiver.h"
#include "tools/vantor-cast/commandline.h"
#include "tools/vantor-cast/subcommand.h"

namespace {

int runList(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the receivers heard on the network."));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Listen this long (default 3)."),
                                           QStringLiteral("N"), QStringLiteral("3"));
    parser.addOption(secondsOption);
    int exitCode = 0;
    if (!commandline::parse(parser, arguments, exitCode)) return exitCode;
    int seconds = 3;
    if (!commandline::positiveInt(parser, secondsOption.names().first(), seconds))
        return kUsageExitCode;

    CodeReceiver& discovery = CodeReceiver::instance();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();

    QList<Sink> sinks = discovery.sinks().values();
    std::sort(sinks.begin(), sinks.end(), [](const Sink& a, const Sink& b) {
        return a.code != b.code ? a.code < b.code : a.ip < b.ip;
    });
    QTextStream out(stdout);
    for (const Sink& sink : qAsConst(sinks)) {
        out << commandline::printable(sink.code) << '\t' << commandline::printable(sink.name)
            << '\t' << sink.ip << '\n';
    }
    return 0;
}

}  // namespace

const Subcommand kListCommand = {"list", "list the receivers heard on the network", runList};
