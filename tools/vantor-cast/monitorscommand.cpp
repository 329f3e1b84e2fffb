// vantor-cast monitors: the monitors, one per line,
// "index<TAB>name<TAB>widthxheight+x+y<TAB>role"; the role says which one
// `send --source screen` (main, the first) and `--source extended` (the last) cast.
#include <QCommandLineParser>
#include <QTextStream>

#include "libcapture/screencapturelib/monitor.h"
#include "tools/vantor-cast/commandline.h"
#include "tools/vantor-cast/subcommand.h"

namespace {

int runMonitors(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the monitors that can be cast."));
    int exitCode = 0;
    if (!commandline::parse(parser, arguments, exitCode)) return exitCode;

    const std::vector<ScreenCaptureLib::Monitor> monitors = ScreenCaptureLib::getMonitors();
    if (monitors.empty()) {
        std::fputs("vantor-cast: no monitors (is DISPLAY set?)\n", stderr);
        return 1;
    }
    QTextStream out(stdout);
    for (size_t i = 0; i < monitors.size(); ++i) {
        const ScreenCaptureLib::Monitor& m = monitors[i];
        QStringList roles;
        if (i == 0) roles << QStringLiteral("main");
        if (i + 1 == monitors.size()) roles << QStringLiteral("extended");
        out << m.index << '\t' << commandline::printable(QString::fromStdString(m.name)) << '\t'
            << m.width << 'x' << m.height << '+' << m.x << '+' << m.y << '\t'
            << (roles.isEmpty() ? QStringLiteral("-") : roles.join(',')) << '\n';
    }
    return 0;
}

}  // namespace

const Subcommand kMonitorsCommand = {"monitors", "list the monitors that can be cast", runMonitors};
