// The end of `vantor-cast send`: one line per receiver saying what it got and
// how and when its stream ended.
#pragma once

#include <QString>
#include <QTextStream>
#include <cstdint>
#include <memory>
#include <vector>

struct SendStats;

namespace sendsummary {

struct ReceiverResult {
    QString target;   // as given on the command line
    QString address;  // resolved; empty when the code was not heard
    QString answer;   // accept, refuse, busy, unreachable, timeout, unknown-code
    std::shared_ptr<const SendStats> stats;  // null when nothing was sent
};

// Writes the receiver's summary line to `out`; when its stream ended in error
// also a line for the user to `errors`. Times are seconds since castStartNs.
// Returns true when the receiver accepted and was served to the end.
bool report(const ReceiverResult& receiver, int64_t castStartNs, QTextStream& out,
            QTextStream& errors);

// Where the pictures' time went in one stage of their way to the wire, as a
// line "stage NAME p50_ms=… p95_ms=… samples=N".
void reportStage(const char* name, const std::vector<double>& milliseconds, QTextStream& out);

}  // namespace sendsummary
