#include "src/session/pipelineworker.h"

#include <chrono>

#include "Comm/logging.h"
#include "libcapture/desktopsharing/desktopsharing.h"

namespace {
int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

PipelineWorker::PipelineWorker()
{
    // Built before us (and before the session we belong to), the pipeline is
    // destroyed after us, so a task still running at process exit finds it in place.
    DesktopSharing::instance();
    thread_ = std::thread(&PipelineWorker::runTasks, this);
}

PipelineWorker::~PipelineWorker()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PipelineWorker::dropQueued()
{
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.clear();
}

void PipelineWorker::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void PipelineWorker::runTasks()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return quitting_ || !tasks_.empty(); });
            if (tasks_.empty()) return;  // quitting, and nothing left to do
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void PipelineWorker::init(quint64 run, PacketCallback callback, void* context, int captureMode,
                          WindowRecord target)
{
    post([=] {
        if (stopRequested(run)) {
            LOG(INFO) << "capture run " << run << " was stopped before its init";
            return;
        }
        Capture::init(callback, context, captureMode, target);
        const DesktopSharing& sharing = DesktopSharing::instance();
        const bool ok = sharing.isInitialized();
        QString reason;
        if (!ok) {
            reason = QString::fromStdString(sharing.lastInitError());
            if (reason.isEmpty()) reason = QStringLiteral("capture init failed");
        }
        emit initFinished(run, ok, reason);
    });
}

void PipelineWorker::start(quint64 run)
{
    post([=] {
        if (stopRequested(run)) {
            LOG(INFO) << "capture run " << run << " was stopped before its start";
            return;
        }
        const DesktopSharing& sharing = DesktopSharing::instance();
        // Every Sender asks once its channels stand; the first one starts the run.
        const bool wasRunning = sharing.isRunning();
        if (!wasRunning) startedAtNs_ = steadyNowNs();
        Capture::start();
        if (wasRunning) return;
        if (sharing.isRunning())
            emit started(run);
        else
            startedAtNs_ = 0;
    });
}

void PipelineWorker::stop(quint64 run)
{
    {
        // Marked before it is queued, so that whatever of this run still waits
        // in the queue sees it.
        std::lock_guard<std::mutex> lock(mutex_);
        if (run > stoppedThrough_.load()) stoppedThrough_ = run;
    }
    post([=] {
        Capture::stop();
        startedAtNs_ = 0;
        emit stopped(run);
    });
}
