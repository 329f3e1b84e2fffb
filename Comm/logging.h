// Process log: the easylogging++ "default" logger writing app.log at info level,
// every line with its source file, line and function; Qt's debug output carries
// the same context.
#pragma once

#include <easylogging++.h>

namespace vantor {

// Call once at process start, before any thread logs. The GUI keeps the library's
// default of also writing log lines to standard output; headless tools whose
// standard output is their result pass false.
void initLogging(bool alsoToStandardOutput = true);

}  // namespace vantor
