// Turns SIGINT and SIGTERM into a Qt signal on the main thread (self-pipe).
#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace vantor::receiver {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    bool install();

signals:
    void terminationRequested(int signalNumber);

private slots:
    void readSignal();

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantor::receiver
