// The casting session: asks a receiver over the command channel, and when it
// accepts, starts the capture and attaches a Sender for it. One capture feeds
// every attached receiver: the frame sink copies each encoded packet once into a
// pool slot and appends it to every receiver's queue. The session lives on the
// GUI thread and never waits there for the capture: the pipeline's init, start
// and stop run on its PipelineWorker and report back with queued signals.
#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "src/session/pipelineworker.h"
#include "src/session/qualityoverrides.h"
#include "src/transport/packetpool.h"
#include "src/transport/packetqueue.h"
#include "src/transport/sendcontext.h"
#include "src/transport/sendstats.h"

class CommandClient;
class Sender;
struct WindowRecord;

class ScreenSender : public QObject {
    Q_OBJECT
public:
    static ScreenSender* instance();

    static constexpr uint32_t kVideoSlotSize = 524288;
    static constexpr int32_t kVideoSlots = 200;
    static constexpr uint32_t kAudioSlotSize = 4096;
    static constexpr int32_t kAudioSlots = 1024;
    // A receiver further behind than this stops receiving that stream.
    static constexpr int kMaxQueuedVideo = 500;
    static constexpr int kMaxQueuedAudio = 1000;

    void setCaptureTarget(int mode, uintptr_t window);
    bool start(const QString& host);
    void stop(const QString& host);
    bool isSendingTo(const QString& host) const;
    void deleteThis();

    // What happens when a receiver cannot be reached: the GUI shows its network-error
    // dialog; headless front ends print. The default writes a log line. Called from
    // the event loop, never from inside the command socket's signals, so it may run
    // a modal dialog and start() another cast from there.
    void setNetworkErrorHandler(std::function<void(QString host)> handler);
    // Applied after cfg.ini at every start (front ends with explicit options).
    void setQualityOverrides(const QualityOverrides& overrides) { overrides_ = overrides; }

    // Counters of the latest Sender for `host` (null when none was ever attached).
    std::shared_ptr<SendStats> statsFor(const QString& host) const;
    // Receivers attached, those whose Sender waits for the capture's init included.
    int attachedCount() const { return senders_.size(); }
    // Steady-clock time (ns) at which the running capture was started; 0 when idle.
    int64_t captureStartNs() const { return pipeline_.startedAtNs(); }
    // Where to watch the capture's init, start and stop complete.
    const PipelineWorker* pipeline() const { return &pipeline_; }
    const std::shared_ptr<SendContext>& sendContext() const { return context_; }
    bool hasPools() const { return videoPool_ != nullptr; }
    // Command channels held: asks still to be answered and casts under way.
    int commandChannelCount() const { return commandClients_.size(); }

    // Receives every encoded packet from the pipeline's video and audio loops.
    static int frameSink(void* user, int mediaType, uint8_t* data, int size, int codecTag,
                         uint32_t timestamp);

signals:
    void beginSend();
    void sinkConnect();
    void sinkBusy();
    void sinkRefuse();
    void sendStop();
    // For front ends that serve several receivers: answer is "accept", "refuse",
    // "busy" or "unreachable".
    void answered(QString host, QString answer);
    // A receiver's Sender has ended (after its stream, or when it could not connect).
    void senderEnded(QString host);
    // The capture could not be set up (no screen to capture, no encoder): the
    // cast is off, every receiver that accepted for it ends (senderEnded) unserved.
    void captureFailed(QString reason);

private slots:
    void recvConn(const QString& host);
    void recvAccept(const QString& host);
    void recvRefuse(const QString& host);
    void senderExit(const QString& host);
    void recvBusy(const QString& host);
    void recvError(const QString& host);

private:
    ScreenSender();
    ~ScreenSender() override;

    struct Route {
        PacketQueuePtr queue;
        std::shared_ptr<SendStats> stats;
    };
    // A receiver that accepted while the capture was being initialised.
    struct WaitingReceiver {
        Sender* sender;
        Route video;
        Route audio;
    };

    void distribute(int mediaType, const uint8_t* data, uint32_t size, uint32_t timestamp);
    void applyQuality();
    void reportUnreachable(const QString& host);
    void beginCaptureRun();
    void captureInitFinished(quint64 run, bool ok, const QString& reason);
    void attach(Sender* sender, const Route& video, const Route& audio);
    void stopCapture();
    void deleteQueue();
    WindowRecord getCaptureWindow();
    void detach(Sender* sender);
    void dropRoutes(const Sender* sender);
    void senderFinished(Sender* ended, const QString& host);
    void finishUnstarted(Sender* sender);
    bool dropWaiting(Sender* sender);
    void releaseCommandChannel(const QString& host);

    QList<Route> videoRoutes_;  // queues the frame sink feeds; under context_->mutex
    QList<Route> audioRoutes_;
    QList<Route> cutOff_;  // taken out of distribution, counted as dropping
    QList<PacketQueuePtr> ownedQueues_;
    std::shared_ptr<Packet> headerPacket_;  // under context_->mutex
    uint32_t lastVideoTimestamp_ = 0;       // of the latest video packet; under context_->mutex
    std::shared_ptr<SendContext> context_;
    // Both pools are written under context_->mutex: the frame sink may still run
    // when deleteThis lets them go.
    std::shared_ptr<PacketPool> videoPool_;
    std::shared_ptr<PacketPool> audioPool_;
    // One command channel per receiver asked, its latest: a cast asked of another
    // receiver meanwhile never drops an answer still to come (a television waits
    // for its viewer to confirm). A channel goes once it is closed, answered with
    // no, or its cast has ended: a long session asks many receivers.
    QMap<QString, std::shared_ptr<CommandClient>> commandClients_;
    QList<Sender*> senders_;
    QList<WaitingReceiver> waiting_;  // in senders_ too; started when the init reports
    quint64 run_ = 0;                 // the capture run asked for last
    bool initPending_ = false;        // run_'s init has not reported yet
    uintptr_t window_ = 0;
    int captureMode_ = 0;

    QMap<QString, std::shared_ptr<SendStats>> stats_;
    std::function<void(QString)> networkErrorHandler_;
    QualityOverrides overrides_;
    // Last: destroyed first, it ends its thread (waiting for a task still running)
    // while everything that task reports to still stands.
    PipelineWorker pipeline_;
};
