#include "Setting/configpath.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace vantor {

namespace {
const QString kApplicationName = QStringLiteral("vantor");
}

void useApplicationIdentity()
{
    // Without a name Qt falls back to the executable's name, and the tools and the
    // desktop program would each read a different file.
    if (!QCoreApplication::organizationName().isEmpty()) {
        QCoreApplication::setOrganizationName(QString());
    }
    if (QCoreApplication::applicationName() != kApplicationName) {
        QCoreApplication::setApplicationName(kApplicationName);
    }
}

QString configDirectory()
{
    useApplicationIdentity();
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString configFilePath() { return configDirectory() + QStringLiteral("/cfg.ini"); }

}  // namespace vantor
