// This PC's network facts (host name, address, whether a network is up) and the
// phone-side notifications, for the pages. A thread object by type whose thread does
// nothing: it lives on the GUI thread and every slot runs there.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

class QNetworkConfigurationManager;
class QTimer;

class NetWorkInfo : public QThread {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 2500;
    static constexpr int kReleaseWaitMs = 300;

    static NetWorkInfo* instance();
    // Deletes the instance (taking kReleaseWaitMs) and forgets it.
    static void release();

    QString getHostName() const { return m_hostName; }
    bool isNetAvailble() const { return m_netAvailable; }
    QString getIPAddr() const { return m_ipAddr; }

    // The first address that is IPv4, not null and not loopback; empty when none.
    static QString firstUsableIPv4(const QList<QHostAddress>& addresses);

    // The process uses instance(); tests build their own.
    explicit NetWorkInfo(QObject* parent = nullptr);
    ~NetWorkInfo() override;

signals:
    void sigHostName(QString hostName);
    void sigNetAvailble(bool Availble);
    void sigIPAddr(QString IP);
    void updateQrCodePic(QString qrCodeStr);
    void updateCastCode(int castCode[6]);
    void havedevicecoming(QString deviceid);
    void sigNextStep();
    void sigprocessMsg(QHostAddress host, QString msg);

public slots:
    void slotOnlineStateChanged(bool isOnline);
    void slotTimeproc();

protected:
    void run() override;

private:
    // Blocking lookup of the name, then firstUsableIPv4.
    QString getIP(const QString& hostName) const;

    QString m_hostName;
    bool m_netAvailable = false;
    QString m_ipAddr;
    QNetworkConfigurationManager* m_configurationManager;
    QTimer* m_timer;

    static NetWorkInfo* s_instance;
    static QMutex s_instanceMutex;
};
