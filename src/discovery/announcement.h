// Parsing of one receiver announcement ("#:#castcode#:#<code>#:#<name>#:#...").
#pragma once

#include <QByteArray>
#include <QString>

struct Announcement {
    QString code;
    QString name;
    int rawType = 1;       // field 5; missing counts as 1, non-numeric as 0
    bool leaving = false;  // field 6 reads "0" after trimming
};

namespace announcement {

extern const char kPrefix[];

// The payload up to its first zero byte, decoded as UTF-8.
QString decodePayload(const QByteArray& datagram);

bool hasPrefix(const QString& text);

// Reads the fields of a text that has the prefix.
Announcement parse(const QString& text);

}  // namespace announcement
