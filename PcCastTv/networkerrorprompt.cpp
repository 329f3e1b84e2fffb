#include "PcCastTv/networkerrorprompt.h"

#include <QPointer>
#include <QWidget>
#include <QtDebug>

#include "Comm/castneterrordialog.h"
#include "src/session/screensender.h"

void installNetworkErrorPrompt(QWidget* anchor)
{
    QPointer<QWidget> guard(anchor);
    ScreenSender::instance()->setNetworkErrorHandler([guard](QString host) {
        qDebug() << "receiver unreachable" << host;
        QWidget* window = guard ? guard->window() : nullptr;
        CastNetErrorDialog dialog(window);
        if (window != nullptr) {
            dialog.move(window->geometry().center() - dialog.rect().center());
        }
        dialog.exec();
    });
}
