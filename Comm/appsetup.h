// What the desktop program does around its QApplication, shared with the tests that
// build its windows so they see what a user sees.
#pragma once

#include <QString>

namespace vantor {

// Before the QApplication exists: Xlib is told that several threads use it (the
// capture library does), high-DPI scaling, and pictures at the screen's resolution.
void prepareProcess();

// After it: the compiled-in pictures and the interface font, "Microsoft YaHei" or
// the installed Chinese family standing in for it. Returns the family the font
// resolves to; empty when no installed font covers Simplified Chinese.
QString applyInterfaceLook();

}  // namespace vantor
