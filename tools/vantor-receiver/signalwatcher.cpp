#include "tools/vantor-receiver/signalwatcher.h"

#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantor::receiver {

namespace {
int pipeEnds[2] = {-1, -1};

void onSignal(int number)
{
    // The interrupted code may be about to read errno: a failed write must not
    // change what it sees.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
    errno = savedErrno;
}
}  // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {}

bool SignalWatcher::install()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0) return false;
    notifier_ = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void SignalWatcher::readSignal()
{
    unsigned char byte = 0;
    if (::read(pipeEnds[1], &byte, 1) == 1) emit terminationRequested(byte);
}

}  // namespace vantor::receiver
