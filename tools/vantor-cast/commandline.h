// Helpers shared by the subcommands for their command lines.
#pragma once

#include <QCommandLineParser>
#include <QString>

namespace commandline {

// Parses `arguments`; on a usage error prints it with the help text to stderr.
// Returns false when the caller should stop; `exitCode` is then set (0 for --help).
bool parse(QCommandLineParser& parser, const QStringList& arguments, int& exitCode);

// Reads a positive whole number option; prints a usage error and returns false otherwise.
bool positiveInt(const QCommandLineParser& parser, const QString& option, int& value);

void printUsageError(const QString& message);

// Text for a tab-separated output line: control characters become spaces, so a
// name or title can forge neither extra fields nor extra lines.
QString printable(QString text);

}  // namespace commandline
