// Turns what the user gave as "--to" into a receiver address: a six-digit cast
// code is looked up in the discovery table, anything else is an address already.
#pragma once

#include <QString>

namespace receiverresolver {

bool isCastCode(const QString& text);

// For a cast code, runs the Qt event loop (so announcements arrive) until the
// code appears or `timeoutMs` passes; returns an empty text when not found.
QString resolve(const QString& target, int timeoutMs);

}  // namespace receiverresolver
