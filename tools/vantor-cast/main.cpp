// vantor-cast: the headless front end. "vantor-cast <subcommand> [options]";
// standard output carries the result, the process log goes to app.log.
#include <QCoreApplication>
#include <QNetworkProxyFactory>
#include <cstdio>
#include <cstring>

#include "Comm/logging.h"
#include "tools/vantor-cast/subcommand.h"
#include "tools/vantor-cast/terminaloutput.h"

// Last: Xlib's macros (None, Bool, ...) must not reach the headers above.
#include <X11/Xlib.h>

namespace {

// To add a subcommand: write its file (defining a Subcommand), declare it in
// subcommand.h and list it here.
const Subcommand* const kSubcommands[] = {
    &kListCommand, &kAskCommand, &kSendCommand, &kWindowsCommand, &kMonitorsCommand,
};

void printUsage(FILE* stream)
{
    std::fputs(
        "usage: vantor-cast [--verbose] <subcommand> [options]   (--help after a subcommand for "
        "its options)\n"
        "  --verbose  also show the encoders' statistics and debug output\n",
        stream);
    for (const Subcommand* command : kSubcommands)
        std::fprintf(stream, "  %-8s %s\n", command->name, command->summary);
}

}  // namespace

int main(int argc, char* argv[])
{
    // Before anything else: the screen capture talks to the X server from
    // several threads, and Xlib must be made thread-safe before its first use.
    XInitThreads();
    QCoreApplication app(argc, argv);
    vantor::initLogging(false);
    QNetworkProxyFactory::setUseSystemConfiguration(false);

    QStringList arguments = QCoreApplication::arguments();
    terminaloutput::apply(terminaloutput::takeVerboseFlag(arguments));
    if (arguments.size() < 2) {
        printUsage(stderr);
        return kUsageExitCode;
    }
    const QString name = arguments.at(1);
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const Subcommand* command : kSubcommands) {
        if (name == QLatin1String(command->name)) {
            arguments.removeFirst();
            arguments.first() = QStringLiteral("vantor-cast ") + name;
            return command->run(arguments);
        }
    }
    std::fprintf(stderr, "vantor-cast: unknown subcommand '%s'\n", qPrintable(name));
    printUsage(stderr);
    return kUsageExitCode;
}
