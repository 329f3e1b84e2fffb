// vantor: the desktop application. No command-line options; the window's close
// buttons end the process with exit code 0.
#include <QApplication>
#include <QNetworkProxyFactory>

#include "Comm/appsetup.h"
#include "Comm/logging.h"
#include "Comm/networkinfo.h"
#include "Setting/configpath.h"
#include "src/discovery/codereceiver.h"
#include "src/keepalive/keepalive.h"
#include "uimanage.h"

int main(int argc, char* argv[])
{
    vantor::prepareProcess();
    QApplication app(argc, argv);
    vantor::initLogging();
    vantor::useApplicationIdentity();
    vantor::applyInterfaceLook();

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
