#include "tests/session/soundserver.h"

#include <signal.h>

#include <QFile>
#include <QString>

pid_t soundServerPid()
{
    QFile file(QString::fromLocal8Bit(qgetenv("VANTOR_PULSE_DIR")) + "/daemon.pid");
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return static_cast<pid_t>(file.readAll().trimmed().toLongLong());
}

PausedProcess::PausedProcess(pid_t pid) : pid_(pid)
{
    paused_ = pid_ > 0 && kill(pid_, SIGSTOP) == 0;
}

void PausedProcess::resume()
{
    if (paused_) kill(pid_, SIGCONT);
    paused_ = false;
}
