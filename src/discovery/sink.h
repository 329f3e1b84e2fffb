// One discovered receiver, as the discovery listener keeps it (copied by value).
#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

struct Sink {
    QString code;          // cast code the receiver announces; what the user types
    QString name;          // display name
    QString ip;            // sender address of the announcement, also the table key
    bool typeIs2 = false;  // announced receiver type equals 2
    qint64 lastSeen = 0;   // seconds since the epoch of the last announcement
    bool pinned = false;   // added by hand (onSinkAdd); never expired
};

Q_DECLARE_METATYPE(Sink)
