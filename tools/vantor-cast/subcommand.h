// One subcommand of vantor-cast: its name, a one-line summary, and its entry
// point. Each subcommand lives in its own file and parses its own options.
#pragma once

#include <QStringList>

struct Subcommand {
    const char* name;
    const char* summary;
    // arguments[0] is "vantor-cast <name>"; returns the process exit code.
    int (*run)(const QStringList& arguments);
};

// Exit code for a malformed command line (BSD sysexits EX_USAGE).
constexpr int kUsageExitCode = 64;

extern const Subcommand kListCommand;
extern const Subcommand kAskCommand;
extern const Subcommand kSendCommand;
extern const Subcommand kWindowsCommand;
extern const Subcommand kMonitorsCommand;
