// The capture pipeline's init, start and stop, run one after the other on a
// thread of their own. They join the capture and encoder threads and may wait
// seconds for the sound server; the GUI thread only posts them here and hears
// back through the signals.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "libcapture/desktopsharing/capture.h"

// Every capture run (one init and what follows it, up to its stop) carries a
// number the session gives it. Once a stop was asked for a run, that run's init
// and starts still waiting behind it are dropped: a stop always wins.
class PipelineWorker : public QObject {
    Q_OBJECT
public:
    PipelineWorker();
    ~PipelineWorker() override;  // runs what is still queued, then ends the thread

    // Forgets the tasks that have not begun (the one running, if any, completes).
    // For the session's destructor at process exit, which asks nothing of the
    // pipeline any more.
    void dropQueued();

    // Each may be called from any thread and returns at once.
    void init(quint64 run, PacketCallback callback, void* context, int captureMode,
              WindowRecord target);
    void start(quint64 run);
    void stop(quint64 run);

    // Steady-clock time (ns) at which the running capture was started; 0 when idle.
    int64_t startedAtNs() const { return startedAtNs_.load(); }

signals:
    // Emitted on the worker's thread: connect with a receiver that lives in your
    // thread (as the session does) to have them queued there.
    void initFinished(quint64 run, bool ok, QString reason);
    void started(quint64 run);
    void stopped(quint64 run);

private:
    void post(std::function<void()> task);
    void runTasks();
    bool stopRequested(quint64 run) const { return run <= stoppedThrough_.load(); }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool quitting_ = false;
    std::atomic<quint64> stoppedThrough_{0};  // the latest run a stop was asked for
    std::atomic<int64_t> startedAtNs_{0};
    std::thread thread_;  // last: runs once everything above exists
};
