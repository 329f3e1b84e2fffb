// Every event a measured phase may wait for, from any thread, funnelled into one
// signal that wakes the waiting event loop.
#pragma once

#include <QObject>

class SessionEvents : public QObject {
    Q_OBJECT
signals:
    void happened();
};
