#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtDebug>

#include "Setting/desktopentry.h"
#include "Setting/startonboot.h"

namespace vantor {

namespace {

// Entries larger than this are not ours; they are neither read nor rewritten.
constexpr qint64 kMaxEntrySize = 64 * 1024;

QString autostartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/vantor.desktop");
}

// A missing file reads as an empty entry; false when it exists but cannot be read.
bool readEntry(const QString& path, DesktopEntry* entry)
{
    QFile file(path);
    if (!file.exists()) {
        *entry = DesktopEntry::fromText(QString());
        return true;
    }
    if (file.size() > kMaxEntrySize || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    *entry = DesktopEntry::fromText(QString::fromUtf8(file.readAll()));
    return true;
}

bool writeEntry(const QString& path, const DesktopEntry& entry)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(entry.toText().toUtf8());
    return file.commit();
}

}  // namespace

bool readStartOnBoot()
{
    DesktopEntry entry;
    if (!QFile::exists(autostartEntryPath()) || !readEntry(autostartEntryPath(), &entry)) {
        return false;
    }
    return !entry.value(QStringLiteral("Exec")).isEmpty() &&
           !desktopBoolean(entry.value(QStringLiteral("Hidden")));
}

bool writeStartOnBoot(bool enabled)
{
    const QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty()) {
        qDebug() << "no program path for the autostart entry";
        return false;
    }
    const QString path = autostartEntryPath();
    DesktopEntry entry;
    if (!readEntry(path, &entry)) {
        qDebug() << "cannot read the autostart entry" << path;
        return false;
    }
    // Off keeps the entry (and whatever it runs) and only hides it; a missing entry
    // is created hidden so that the choice is on disk from the first run.
    const bool fillIn = enabled || !entry.contains(QStringLiteral("Exec"));
    if (fillIn) {
        entry.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
        entry.setValue(QStringLiteral("Name"), QStringLiteral("Vantor"));
        entry.setValue(QStringLiteral("Exec"), desktopExecValue(program));
    }
    entry.setValue(QStringLiteral("Hidden"),
                   enabled ? QStringLiteral("false") : QStringLiteral("true"));
    if (!writeEntry(path, entry)) {
        qDebug() << "cannot write the autostart entry" << path;
        return false;
    }
    return true;
}

}  // namespace vantor
