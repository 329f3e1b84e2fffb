// vantor: the desktop application. No command-line options; the window's close
// buttons end the process with exit code 0.
#include <QApplication>
#include <QFont>
#include <QNetworkProxyFactory>

#include "Comm/cjkfont.h"
#include "Comm/logging.h"
#include "Comm/networkinfo.h"
#include "Setting/configpath.h"
#include "resources/images.h"
#include "src/discovery/codereceiver.h"
#include "src/keepalive/keepalive.h"
#include "uimanage.h"

#if defined(Q_OS_LINUX)
#include <X11/Xlib.h>
#endif

int main(int argc, char* argv[])
{
#if defined(Q_OS_LINUX)
    // The capture library talks to the X server from its own threads; Xlib must know
    // before anyone opens a display, Qt included.
    XInitThreads();
#endif
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Pictures and icons at the screen's own resolution (the "@2x" renderings).
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    vantor::initLogging();
    vantor::useApplicationIdentity();
    initVantorImages();

    vantor::installCjkFontSubstitutes();
    QFont font(QString::fromLatin1(vantor::kInterfaceFontFamily));
    QApplication::setFont(font);

    // Receivers are on the LAN: every socket goes straight to them.
    QNetworkProxyFactory::setUseSystemConfiguration(false);

    UiManage* window = UiManage::instance();
    window->init();
    NetWorkInfo::instance()->start(QThread::InheritPriority);
    window->show();

    CodeReceiver::instance();
    KeepAlive::instance();

    return app.exec();
}
