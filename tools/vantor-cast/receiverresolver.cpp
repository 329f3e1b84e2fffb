#include "tools/vantor-cast/receiverresolver.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include "src/discovery/codereceiver.h"

namespace receiverresolver {

namespace {
constexpr int kPollMs = 100;
}

bool isCastCode(const QString& text)
{
    static const QRegularExpression castCode(QStringLiteral("^[0-9]{6}$"));
    return castCode.match(text).hasMatch();
}

QString resolve(const QString& target, int timeoutMs)
{
    if (!isCastCode(target)) return target;

    CodeReceiver& discovery = CodeReceiver::instance();
    const QDeadlineTimer deadline(timeoutMs);
    QString address = discovery.getHostByName(target);
    while (address.isEmpty() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(qMin<qint64>(kPollMs, deadline.remainingTime()), &loop,
                           &QEventLoop::quit);
        loop.exec();
        address = discovery.getHostByName(target);
    }
    return address;
}

}  // namespace receiverresolver
