#include "tools/vantor-cast/sendsummary.h"

#include "Comm/stagetimes.h"
#include "src/transport/sendstats.h"

namespace sendsummary {
namespace {

const char* endName(StreamEnd end)
{
    switch (end) {
        case StreamEnd::None:
            return "none";
        case StreamEnd::Completed:
            return "completed";
        case StreamEnd::StoppedEarly:
            return "stopped-early";
        case StreamEnd::CouldNotConnect:
            return "could-not-connect";
        case StreamEnd::Reset:
            return "reset";
        case StreamEnd::TooSlow:
            return "too-slow";
    }
    return "none";
}

QString secondsSince(int64_t startNs, int64_t atNs)
{
    if (startNs <= 0 || atNs <= 0) return QStringLiteral("0.0");
    return QString::number(double(atNs - startNs) / 1e9, 'f', 1);
}

}  // namespace

bool report(const ReceiverResult& receiver, int64_t castStartNs, QTextStream& out,
            QTextStream& errors)
{
    const SendStats* stats = receiver.stats.get();
    const bool accepted = receiver.answer == QLatin1String("accept");
    StreamEnd end = stats ? stats->end.load() : StreamEnd::None;
    const int64_t cutOffAtNs = stats ? stats->cutOffAtNs.load() : 0;
    // A receiver cut off from the stream got no picture after that moment, however
    // its connection ended later.
    QString ended = QString::fromLatin1(endName(end));
    int64_t endedAtNs = stats ? stats->endedAtNs.load() : 0;
    if (cutOffAtNs != 0) {
        ended = QStringLiteral("cut-off");
        endedAtNs = cutOffAtNs;
    }
    const bool served = accepted && stats && stats->connected && stats->videoPackets > 0 &&
                        end == StreamEnd::Completed && cutOffAtNs == 0;

    out << "receiver=" << receiver.target << " address=" << receiver.address
        << " answer=" << receiver.answer << " streamed=" << (served ? 1 : 0)
        << " video_packets=" << (stats ? qulonglong(stats->videoPackets) : 0)
        << " audio_packets=" << (stats ? qulonglong(stats->audioPackets) : 0)
        << " bytes=" << (stats ? qulonglong(stats->bytes) : 0)
        << " video_dropped=" << (stats ? qulonglong(stats->videoDropped) : 0)
        << " flushed=" << (stats ? qulonglong(stats->flushed) : 0) << " end=" << ended
        << " end_s=" << secondsSince(castStartNs, endedAtNs) << '\n';

    if (!accepted || served) return served;
    const QString who = receiver.address.isEmpty() ? receiver.target : receiver.address;
    const QString at = secondsSince(castStartNs, endedAtNs);
    if (cutOffAtNs != 0)
        errors << "vantor-cast: " << who << ": cut off as too slow at " << at << " s\n";
    else if (end == StreamEnd::Reset)
        errors << "vantor-cast: " << who << ": connection reset at " << at << " s\n";
    else if (end == StreamEnd::TooSlow)
        errors << "vantor-cast: " << who << ": stopped taking the stream at " << at << " s\n";
    else if (end == StreamEnd::CouldNotConnect)
        errors << "vantor-cast: " << who << ": could not connect\n";
    else
        errors << "vantor-cast: " << who << ": got no stream\n";
    return false;
}

void reportStage(const char* name, const std::vector<double>& milliseconds, QTextStream& out)
{
    out << "stage " << name
        << " p50_ms=" << QString::number(percentileOf(milliseconds, 0.50), 'f', 2)
        << " p95_ms=" << QString::number(percentileOf(milliseconds, 0.95), 'f', 2)
        << " samples=" << milliseconds.size() << '\n';
}

}  // namespace sendsummary
