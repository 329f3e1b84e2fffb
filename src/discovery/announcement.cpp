#include "src/discovery/announcement.h"

#include <QStringList>

namespace announcement {

const char kPrefix[] = "#:#castcode#:#";

namespace {
const char kSeparator[] = "#:#";
enum Field { kMarker = 0, kCode = 1, kName = 2, kType = 5, kPresence = 6 };
}  // namespace

QString decodePayload(const QByteArray& datagram)
{
    const int end = datagram.indexOf('\0');
    return QString::fromUtf8(end < 0 ? datagram : datagram.left(end));
}

bool hasPrefix(const QString& text) { return text.startsWith(QLatin1String(kPrefix)); }

Announcement parse(const QString& text)
{
    // Empty pieces are dropped before numbering, so "a#:##:#b" moves b down one place.
    const QStringList pieces = text.split(QLatin1String(kSeparator), Qt::SkipEmptyParts);
    Announcement result;
    if (pieces.size() > kCode) result.code = pieces.at(kCode).trimmed();
    if (pieces.size() > kName) result.name = pieces.at(kName).trimmed();
    if (pieces.size() > kType) result.rawType = pieces.at(kType).trimmed().toInt();
    if (pieces.size() > kPresence) result.leaving = pieces.at(kPresence).trimmed() == "0";
    return result;
}

}  // namespace announcement
