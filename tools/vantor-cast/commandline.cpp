#include "tools/vantor-cast/commandline.h"

#include <cstdio>

#include "tools/vantor-cast/subcommand.h"

namespace commandline {

void printUsageError(const QString& message)
{
    std::fprintf(stderr, "vantor-cast: %s\n", qPrintable(message));
}

bool parse(QCommandLineParser& parser, const QStringList& arguments, int& exitCode)
{
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(arguments)) {
        printUsageError(parser.errorText());
        std::fputs(qPrintable(parser.helpText()), stderr);
        exitCode = kUsageExitCode;
        return false;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        exitCode = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printUsageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
        exitCode = kUsageExitCode;
        return false;
    }
    return true;
}

bool positiveInt(const QCommandLineParser& parser, const QString& option, int& value)
{
    if (!parser.isSet(option)) return true;
    bool ok = false;
    const int parsed = parser.value(option).toInt(&ok);
    if (!ok || parsed <= 0) {
        printUsageError(QStringLiteral("--%1 needs a positive whole number of seconds, not '%2'")
                            .arg(option, parser.value(option)));
        return false;
    }
    value = parsed;
    return true;
}

QString printable(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) c = QLatin1Char(' ');
    }
    return text;
}

}  // namespace commandline
