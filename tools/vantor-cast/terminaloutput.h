// What vantor-cast lets reach the user's terminal: its own lines and warnings,
// or with --verbose also the libraries' statistics and the debug output.
#pragma once

#include <QStringList>

namespace terminaloutput {

// Removes every "--verbose" from the arguments; true when there was one.
bool takeVerboseFlag(QStringList& arguments);

// FFmpeg's log at warning (libx264's and the AAC encoder's statistics are
// information) and Qt's debug and info output off, warnings without source
// paths; verbose keeps both as they are. app.log is not affected.
void apply(bool verbose);

}  // namespace terminaloutput
