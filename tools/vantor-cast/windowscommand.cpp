// vantor-cast windows: the program windows that can be cast, one per line,
// "id<TAB>left,top widthxheight<TAB>title", top of the stacking order first.
// The id is what `send --source window:ID` takes.
#include <QCommandLineParser>
#include <QTextStream>

#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "tools/vantor-cast/commandline.h"
#include "tools/vantor-cast/subcommand.h"

namespace {

int runWindows(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the program windows that can be cast."));
    int exitCode = 0;
    if (!commandline::parse(parser, arguments, exitCode)) return exitCode;

    QTextStream out(stdout);
    for (const WindowRecord& window : enumerateWindows()) {
        out << QStringLiteral("0x%1").arg(static_cast<qulonglong>(window.handle), 0, 16) << '\t'
            << window.left << ',' << window.top << ' ' << window.width << 'x' << window.height
            << '\t' << commandline::printable(QString::fromUtf8(window.title)) << '\n';
    }
    return 0;
}

}  // namespace

const Subcommand kWindowsCommand = {"windows", "list the program windows that can be cast",
                                    runWindows};
