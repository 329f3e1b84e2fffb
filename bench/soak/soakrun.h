// One soak run: the real casting session streams the screen and system audio while
// receivers join and leave on a fixed tick (see soakschedule.h). Before each tick's
// changes it samples this process (the sender) into samples.csv; every receiver
// that ends gets a row in receivers.csv, a healthy one's after its recording was
// checked. Everything runs on the event loop; nothing here waits in a blocking call.
#pragma once

#include <sys/types.h>

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

#include "bench/soak/childprocess.h"
#include "bench/soak/soakschedule.h"

class ScreenSender;

namespace soak {

struct SoakOptions {
    int ticks = 12;
    int tickMs = 10000;
    int resetAfterMs = 15000;  // a resetting receiver is killed this long after it joined
    int stallAfterFrames = 50;
    QString outDir;
    QString receiverProgram;
    QString checkProgram;  // run as: checkProgram RECORDING; prints one line
    int fps = 25;
    int bitrateMbps = 4;
    int width = 1280;
};

class SoakRun : public QObject {
    Q_OBJECT
public:
    SoakRun(const SoakOptions& options, ScreenSender* session);
    ~SoakRun() override;

    void start();
    // Receivers whose run went wrong (did not come up, were refused, crashed, ...).
    int failures() const { return failures_; }
    int served() const { return served_; }
    int joined() const { return int(peers_.size()); }

signals:
    void finished();

private:
    enum class Stage { Starting, Asked, Streaming, Leaving, Terminating, Checking, Done };
    struct Peer {
        int index = 0;
        Role role = Role::Healthy;
        QString address;
        QString logPath;
        QString recordPath;
        QString checkPath;
        pid_t pid = -1;
        pid_t checker = -1;
        Stage stage = Stage::Starting;
        qint64 stageSinceMs = 0;
        qint64 joinedMs = 0;
        qint64 leftMs = -1;
        QString answer;
        bool senderEnded = false;
        bool killed = false;  // SIGKILL on purpose
        ChildExit exit;
        QString check;
        QString failure;
    };

    void tick();
    void scheduleNextTick();
    void sample();
    void join();
    void leave(Peer& peer);
    void killMidStream(int index);
    void housekeeping();
    void advance(Peer& peer);
    void reap(Peer& peer);
    void setStage(Peer& peer, Stage stage);
    void fail(Peer& peer, const QString& why);
    void finishPeer(Peer& peer);
    void endWhenAllDone();
    Peer* peerAt(const QString& address);
    qint64 nowMs() const { return clock_.elapsed(); }
    void event(const QString& text) const;

    SoakOptions options_;
    ScreenSender* session_;
    QElapsedTimer clock_;
    QTimer housekeeping_;
    int tick_ = 0;
    bool ending_ = false;
    qint64 endingSinceMs_ = 0;
    std::vector<std::unique_ptr<Peer>> peers_;
    int failures_ = 0;
    int served_ = 0;
};

}  // namespace soak
