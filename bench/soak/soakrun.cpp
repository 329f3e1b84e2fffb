#include "bench/soak/soakrun.h"

#include <signal.h>

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <cstdio>

#include "bench/soak/processsample.h"
#include "src/session/screensender.h"

namespace soak {

namespace {
constexpr int kHousekeepingMs = 50;
constexpr qint64 kReadyLimitMs = 10000;
constexpr qint64 kAnswerLimitMs = 15000;
constexpr qint64 kLeaveLimitMs = 15000;
constexpr qint64 kExitLimitMs = 10000;
constexpr qint64 kEndingLimitMs = 120000;

bool fileHasLine(const QString& path, const QByteArray& start)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = file.readAll();
    return text.startsWith(start) || text.contains("\n" + start);
}

QString lastLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    return QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last()).trimmed();
}

void appendLine(const QString& path, const QString& line)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    file.write((line + '\n').toUtf8());
}

std::vector<std::string> toArgv(const QStringList& list)
{
    std::vector<std::string> argv;
    for (const QString& item : list) argv.push_back(item.toStdString());
    return argv;
}
}  // namespace

SoakRun::SoakRun(const SoakOptions& options, ScreenSender* session)
    : options_(options), session_(session)
{
    housekeeping_.setInterval(kHousekeepingMs);
    connect(&housekeeping_, &QTimer::timeout, this, &SoakRun::housekeeping);
    connect(session_, &ScreenSender::answered, this, [this](QString host, QString answer) {
        if (Peer* peer = peerAt(host)) peer->answer = answer;
    });
    connect(session_, &ScreenSender::senderEnded, this, [this](QString host) {
        Peer* peer = peerAt(host);
        if (!peer) return;
        peer->senderEnded = true;
        event(QString("sender for %1 (%2) ended").arg(host, roleName(peer->role)));
        if (peer->role == Role::Healthy && peer->stage == Stage::Streaming)
            fail(*peer, "its sender ended while it was still reading");
    });
}

SoakRun::~SoakRun() = default;

void SoakRun::start()
{
    QDir().mkpath(options_.outDir);
    appendLine(options_.outDir + "/samples.csv",
               "elapsed_s,tick,phase,rss_kb,threads,fds,attached");
    appendLine(options_.outDir + "/receivers.csv",
               "index,role,address,joined_s,left_s,answer,video_packets,audio_packets,timeouts,"
               "flushed,sender_ended,exit,check,failure");
    clock_.start();
    housekeeping_.start();
    tick();
}

void SoakRun::event(const QString& text) const
{
    std::fprintf(stderr, "[soak %8.1f s] %s\n", nowMs() / 1000.0, qPrintable(text));
    std::fflush(stderr);
}

SoakRun::Peer* SoakRun::peerAt(const QString& address)
{
    for (auto& peer : peers_)
        if (peer->address == address) return peer.get();
    return nullptr;
}

void SoakRun::scheduleNextTick()
{
    const qint64 due = qint64(tick_) * options_.tickMs - nowMs();
    QTimer::singleShot(int(std::max<qint64>(0, due)), this, &SoakRun::tick);
}

// Sample first: the changes of this tick have not started, and those of the last
// one have settled for a whole tick.
void SoakRun::tick()
{
    sample();
    if (tick_ >= options_.ticks) {
        ending_ = true;
        endingSinceMs_ = nowMs();
        event("last tick: every receiver leaves");
        for (auto& peer : peers_)
            if (peer->stage == Stage::Streaming) leave(*peer);
        return;
    }
    const int leaving = tick_ - kStayTicks;
    if (leaving >= 0 && leaving < int(peers_.size()) && peers_[leaving]->stage == Stage::Streaming)
        leave(*peers_[leaving]);
    join();
    ++tick_;
    scheduleNextTick();
}

void SoakRun::sample()
{
    const ProcessSample now = sampleThisProcess();
    appendLine(options_.outDir + "/samples.csv", QString("%1,%2,%3,%4,%5,%6,%7")
                                                     .arg(nowMs() / 1000.0, 0, 'f', 1)
                                                     .arg(tick_)
                                                     .arg(tick_ % kCycleTicks)
                                                     .arg(now.rssKb)
                                                     .arg(now.threads)
                                                     .arg(now.fds)
                                                     .arg(session_->attachedCount()));
    event(QString("tick %1: rss %2 kB, %3 threads, %4 fds, %5 attached")
              .arg(tick_)
              .arg(now.rssKb)
              .arg(now.threads)
              .arg(now.fds)
              .arg(session_->attachedCount()));
}

void SoakRun::join()
{
    auto peer = std::make_unique<Peer>();
    peer->index = int(peers_.size());
    peer->role = roleForTick(tick_);
    // A new address for every receiver: nothing of an earlier one is reused.
    peer->address = QString("127.0.%1.%2").arg(10 + peer->index / 200).arg(2 + peer->index % 200);
    const QString name = QString("%1/receiver-%2-%3").arg(options_.outDir).arg(peer->index);
    peer->logPath = name.arg(roleName(peer->role)) + ".log";
    QStringList argv{options_.receiverProgram, "--bind",   peer->address,
                     "--no-announce",          "--answer", "accept"};
    if (peer->role == Role::Healthy) {
        peer->recordPath = QString("%1/rec-%2.mkv").arg(options_.outDir).arg(peer->index);
        peer->checkPath = QString("%1/rec-%2.check").arg(options_.outDir).arg(peer->index);
        QFile::remove(peer->recordPath);
        argv << "--record" << peer->recordPath;
    }
    if (peer->role == Role::Stalled)
        argv << "--stop-reading-after" << QString::number(options_.stallAfterFrames);
    QFile::remove(peer->logPath);
    peer->pid = spawnProcess(toArgv(argv), peer->logPath.toStdString());
    peer->joinedMs = nowMs();
    peer->stageSinceMs = peer->joinedMs;
    event(QString("receiver %1 (%2) joins on %3, pid %4")
              .arg(peer->index)
              .arg(roleName(peer->role))
              .arg(peer->address)
              .arg(peer->pid));
    if (peer->role == Role::Resetting) {
        const int index = peer->index;
        QTimer::singleShot(options_.resetAfterMs, this, [this, index] { killMidStream(index); });
    }
    Peer& added = *peer;
    peers_.push_back(std::move(peer));
    if (added.pid < 0) {
        fail(added, "could not be started");
        finishPeer(added);
    }
}

void SoakRun::leave(Peer& peer)
{
    event(QString("receiver %1 (%2) on %3 leaves")
              .arg(peer.index)
              .arg(roleName(peer.role))
              .arg(peer.address));
    peer.leftMs = nowMs();
    session_->stop(peer.address);
    if (peer.role == Role::Resetting && !peer.killed) killMidStream(peer.index);
    setStage(peer, Stage::Leaving);
}

void SoakRun::killMidStream(int index)
{
    Peer& peer = *peers_[size_t(index)];
    if (peer.killed || peer.exit.ended || peer.pid < 0) return;
    if (peer.stage != Stage::Streaming && peer.stage != Stage::Leaving) return;
    event(QString("receiver %1 on %2 killed mid-stream").arg(peer.index).arg(peer.address));
    peer.killed = true;
    ::kill(peer.pid, SIGKILL);
}

void SoakRun::setStage(Peer& peer, Stage stage)
{
    peer.stage = stage;
    peer.stageSinceMs = nowMs();
}

void SoakRun::fail(Peer& peer, const QString& why)
{
    if (!peer.failure.isEmpty()) return;
    peer.failure = why;
    ++failures_;
    event(QString("FAIL receiver %1 (%2) on %3: %4")
              .arg(peer.index)
              .arg(roleName(peer.role))
              .arg(peer.address, why));
}

void SoakRun::housekeeping()
{
    for (auto& peer : peers_) {
        if (peer->stage == Stage::Done) continue;
        reap(*peer);
        advance(*peer);
    }
    if (ending_) endWhenAllDone();
}

void SoakRun::reap(Peer& peer)
{
    if (peer.pid < 0 || peer.exit.ended) return;
    peer.exit = pollChild(peer.pid);
    if (!peer.exit.ended) return;
    event(QString("receiver %1 (%2) exited: %3")
              .arg(peer.index)
              .arg(roleName(peer.role))
              .arg(QString::fromStdString(peer.exit.text())));
    const bool expected = peer.stage == Stage::Terminating || peer.killed;
    if (!expected) {
        fail(peer, QString("exited on its own (%1)").arg(QString::fromStdString(peer.exit.text())));
        session_->stop(peer.address);
    }
}

void SoakRun::advance(Peer& peer)
{
    const qint64 since = nowMs() - peer.stageSinceMs;
    switch (peer.stage) {
        case Stage::Starting:
            if (peer.exit.ended) return finishPeer(peer);
            if (fileHasLine(peer.logPath, "ready ")) {
                session_->start(peer.address);
                setStage(peer, Stage::Asked);
            } else if (since > kReadyLimitMs) {
                fail(peer, "not ready within 10 s");
                ::kill(peer.pid, SIGTERM);
                setStage(peer, Stage::Terminating);
            }
            return;
        case Stage::Asked:
            if (peer.exit.ended) return finishPeer(peer);
            if (peer.answer == QLatin1String("accept")) {
                setStage(peer, Stage::Streaming);
            } else if (!peer.answer.isEmpty() || since > kAnswerLimitMs) {
                fail(peer, "answered " + (peer.answer.isEmpty() ? "nothing" : peer.answer));
                ::kill(peer.pid, SIGTERM);
                setStage(peer, Stage::Terminating);
            }
            return;
        case Stage::Streaming:
            if (peer.exit.ended && !peer.killed) return finishPeer(peer);
            if (ending_) leave(peer);
            return;
        case Stage::Leaving: {
            if (peer.role == Role::Resetting) {
                if (peer.exit.ended && peer.senderEnded) return finishPeer(peer);
            } else {
                if (peer.exit.ended) return finishPeer(peer);
                const bool castOver =
                    peer.senderEnded &&
                    (peer.role != Role::Healthy || fileHasLine(peer.logPath, "cast-summary "));
                if (castOver) {
                    ::kill(peer.pid, SIGTERM);
                    setStage(peer, Stage::Terminating);
                    return;
                }
            }
            if (since > kLeaveLimitMs) {
                fail(peer, peer.senderEnded ? "its cast did not end on the receiver"
                                            : "its sender did not end after stop");
                if (!peer.exit.ended) ::kill(peer.pid, SIGTERM);
                setStage(peer, Stage::Terminating);
            }
            return;
        }
        case Stage::Terminating:
            if (!peer.exit.ended) {
                if (since > kExitLimitMs) {
                    fail(peer, "did not end on SIGTERM");
                    ::kill(peer.pid, SIGKILL);
                    setStage(peer, Stage::Terminating);
                }
                return;
            }
            if (peer.role != Role::Resetting && peer.exit.text() != "0")
                fail(peer, "exit " + QString::fromStdString(peer.exit.text()));
            if (peer.role == Role::Healthy && peer.failure.isEmpty()) {
                if (!QFile::exists(peer.recordPath)) {
                    fail(peer, "no recording");
                } else {
                    QFile::remove(peer.checkPath);
                    peer.checker = spawnProcess(toArgv({options_.checkProgram, peer.recordPath}),
                                                peer.checkPath.toStdString());
                    if (peer.checker > 0) return setStage(peer, Stage::Checking);
                    fail(peer, "recording check could not be started");
                }
            }
            return finishPeer(peer);
        case Stage::Checking: {
            const ChildExit checked = pollChild(peer.checker);
            if (!checked.ended) return;
            peer.check = lastLine(peer.checkPath);
            if (checked.text() != "0") fail(peer, "recording check failed: " + peer.check);
            return finishPeer(peer);
        }
        case Stage::Done:
            return;
    }
}

void SoakRun::finishPeer(Peer& peer)
{
    if (peer.leftMs < 0) peer.leftMs = nowMs();
    const auto stats = session_->statsFor(peer.address);
    const bool streamed = stats && stats->connected && stats->videoPackets > 0;
    if (streamed) ++served_;
    if (peer.role == Role::Healthy && !streamed) fail(peer, "got no video");
    QString failure = peer.failure;
    failure.replace(',', ';');
    QString check = peer.check;
    check.replace(',', ';');
    appendLine(options_.outDir + "/receivers.csv",
               QString("%1,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11,%12,%13,%14")
                   .arg(peer.index)
                   .arg(roleName(peer.role))
                   .arg(peer.address)
                   .arg(peer.joinedMs / 1000.0, 0, 'f', 1)
                   .arg(peer.leftMs / 1000.0, 0, 'f', 1)
                   .arg(peer.answer.isEmpty() ? "-" : peer.answer)
                   .arg(stats ? qulonglong(stats->videoPackets) : 0)
                   .arg(stats ? qulonglong(stats->audioPackets) : 0)
                   .arg(stats ? qulonglong(stats->timeouts) : 0)
                   .arg(stats ? qulonglong(stats->flushed) : 0)
                   .arg(peer.senderEnded ? 1 : 0)
                   .arg(QString::fromStdString(peer.exit.text()))
                   .arg(check.isEmpty() ? "-" : check)
                   .arg(failure.isEmpty() ? "-" : failure));
    event(QString("receiver %1 (%2) done%3%4")
              .arg(peer.index)
              .arg(roleName(peer.role))
              .arg(check.isEmpty() ? "" : ", recording: " + check)
              .arg(failure.isEmpty() ? "" : ", FAILED: " + failure));
    setStage(peer, Stage::Done);
}

void SoakRun::endWhenAllDone()
{
    bool allDone = true;
    for (auto& peer : peers_) allDone = allDone && peer->stage == Stage::Done;
    if (!allDone && nowMs() - endingSinceMs_ < kEndingLimitMs) return;
    for (auto& peer : peers_) {
        if (peer->stage == Stage::Done) continue;
        fail(*peer, "still not done at the end");
        if (peer->pid > 0 && !peer->exit.ended) ::kill(peer->pid, SIGKILL);
        finishPeer(*peer);
    }
    housekeeping_.stop();
    emit finished();
}

}  // namespace soak
