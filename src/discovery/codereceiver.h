// Listens to the receivers' announcements on UDP port 43572 and keeps the table
// of live receivers, one Sink per sender address. Lives on the main thread for
// the whole process; emits no signals, the pages poll the table.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QUdpSocket>
#include <functional>

#include "src/discovery/discoverymutex.h"
#include "src/discovery/sink.h"

class QTimer;

class CodeReceiver : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDiscoveryPort = 43572;
    static constexpr quint16 kSsdpPort = 1900;
    static constexpr int kExpiryPeriodMs = 3000;
    static constexpr qint64 kMaxSilenceSeconds = 12;
    // A flood of forged sender addresses must not grow the table without bound.
    static constexpr int kMaxSinks = 1024;

    static CodeReceiver& instance();

    // The process uses instance(); tests build their own listeners.
    CodeReceiver();
    ~CodeReceiver() override;

    // Address of the first record announcing `code`; empty when none does.
    QString getHostByName(const QString& code);

    // Copy of the table, taken under the discovery lock.
    QHash<QString, Sink> sinks() const;
    // The table itself: read it only while holding discoveryMutex().
    const QHash<QString, Sink>& sinksLocked() const { return sinks_; }

    // Seconds since the epoch; replaceable so that expiry can be tested.
    void setClock(std::function<qint64()> clock);

public slots:
    void removeDead();

private slots:
    void processPendingDatagrams();
    void processPendingDatagramsPort1900();
    void processMsg(const QHostAddress& sender, const QString& text);
    void initPort1900();
    void onSinkAdd(const Sink& sink);
    void onSinkRemove(const QString& name);

private:
    bool joinGroup(QUdpSocket& socket, const QHostAddress& group);
    void leaveGroup(QUdpSocket& socket, const QHostAddress& group);

    QHash<QString, Sink> sinks_;
    QUdpSocket udpSocket4_;
    QUdpSocket udpSocket6_;
    QUdpSocket udpSocket1900_;
    QHostAddress groupAddress4_;
    QHostAddress groupAddress6_;
    QTimer* expiryTimer_ = nullptr;
    QStringList localIP_;
    std::function<qint64()> clock_;
    bool tableFullLogged_ = false;
};
