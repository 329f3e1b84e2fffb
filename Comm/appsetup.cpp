#include "Comm/appsetup.h"

#include <QApplication>
#include <QFont>

#include "Comm/cjkfont.h"
#include "resources/images.h"

#if defined(Q_OS_LINUX)
#include <X11/Xlib.h>
#endif

namespace vantor {

void prepareProcess()
{
#if defined(Q_OS_LINUX)
    XInitThreads();
#endif
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

QString applyInterfaceLook()
{
    initVantorImages();
    const QString family = installCjkFontSubstitutes();
    QApplication::setFont(QFont(QString::fromLatin1(kInterfaceFontFamily)));
    return family;
}

}  // namespace vantor
