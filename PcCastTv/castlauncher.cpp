#include "PcCastTv/castlauncher.h"

#include <QWidget>
#include <QtDebug>

#include "Comm/toast.h"
#include "src/discovery/codereceiver.h"
#include "src/session/screensender.h"

CastLauncher::CastLauncher(QObject* parent) : QObject(parent) {}

QString CastLauncher::hostForCode(const QString& code)
{
    return code.isEmpty() ? QString() : CodeReceiver::instance().getHostByName(code);
}

QString CastLauncher::castButtonText(const QString& code)
{
    if (code.isEmpty()) {
        return QString();
    }
    const QString host = hostForCode(code);
    const bool casting = !host.isEmpty() && ScreenSender::instance()->isSendingTo(host);
    return casting ? QStringLiteral("退出投屏") : QStringLiteral("开始投屏");
}

void CastLauncher::subscribeToSession()
{
    // Once per page set: every later start reuses these connections, so a signal
    // shows one toast, not one per cast started before.
    if (m_subscribed) {
        return;
    }
    m_subscribed = true;
    ScreenSender* session = ScreenSender::instance();
    connect(session, &ScreenSender::sinkConnect, this,
            [this] { showOutcome(QStringLiteral("开始投屏, 请在大屏幕确认.")); });
    connect(session, &ScreenSender::sinkBusy, this,
            [this] { showOutcome(QStringLiteral("接收设备忙, 请稍候.")); });
    connect(session, &ScreenSender::sinkRefuse, this,
            [this] { showOutcome(QStringLiteral("接收设备拒绝投屏.")); });
    connect(session, &ScreenSender::sendStop, this,
            [this] { showOutcome(QStringLiteral("已停止投屏.")); });
    // The receiver said yes but the screen or the encoder could not be set up.
    connect(session, &ScreenSender::captureFailed, this,
            [this] { showOutcome(QStringLiteral("投屏失败, 无法采集屏幕.")); });
}

void CastLauncher::showOutcome(const QString& text)
{
    if (m_toastPage) {
        Toast::showTip(text, m_toastPage);
    }
}

void CastLauncher::castOpertion(const QString& host, QWidget* page)
{
    qDebug() << "PcCastFindDev::castOpertion" << host;
    m_toastPage = page;
    subscribeToSession();
    ScreenSender* session = ScreenSender::instance();
    if (session->isSendingTo(host)) {
        session->stop(host);
    } else {
        session->start(host);  // an unreachable receiver is reported by the session
    }
}

void CastLauncher::castToCode(const QString& code, QWidget* page)
{
    const QString host = hostForCode(code);
    if (host.isEmpty()) {
        Toast::showTip(QStringLiteral("投屏码错误, 请检查!"), page);
        return;
    }
    castOpertion(host, page);
}
