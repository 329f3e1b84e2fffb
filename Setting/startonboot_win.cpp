#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QtDebug>

#include "Setting/startonboot.h"

namespace vantor {

namespace {
const QString kRunKey =
    QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kValueName = QStringLiteral("startOnBoot");
}  // namespace

bool readStartOnBoot()
{
    // Any text counts, even another program's path.
    const QSettings run(kRunKey, QSettings::NativeFormat);
    return !run.value(kValueName).toString().isEmpty();
}

bool writeStartOnBoot(bool enabled)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    // No quotes and no arguments; off is the empty string, the value itself stays.
    run.setValue(kValueName, enabled
                                 ? QDir::toNativeSeparators(QCoreApplication::applicationFilePath())
                                 : QString());
    run.sync();
    if (run.status() != QSettings::NoError) {
        qDebug() << "cannot write the Run value" << kValueName;
        return false;
    }
    return true;
}

}  // namespace vantor
