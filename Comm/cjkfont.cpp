#include "Comm/cjkfont.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>
#include <QtDebug>

namespace vantor {

namespace {

// Debian's CJK families, the ones drawn closest to the interface font first.
const char* const kPreferredFamilies[] = {
    "WenQuanYi Micro Hei", "Noto Sans CJK SC",    "Noto Sans SC",   "Source Han Sans SC",
    "WenQuanYi Zen Hei",   "Droid Sans Fallback", "AR PL UMing CN",
};

// The spellings the forms and style sheets use; font lookup ignores case.
const char* const kInterfaceSpellings[] = {"Microsoft YaHei", "MicrosoftYaHei"};

QString installedCjkFamily(const QFontDatabase& database)
{
    const QStringList chinese = database.families(QFontDatabase::SimplifiedChinese);
    for (const char* family : kPreferredFamilies) {
        if (chinese.contains(QLatin1String(family), Qt::CaseInsensitive)) {
            return QLatin1String(family);
        }
    }
    return chinese.isEmpty() ? QString() : chinese.first();
}

}  // namespace

QString installCjkFontSubstitutes()
{
    const QFontDatabase database;
    if (database.hasFamily(QLatin1String(kInterfaceFontFamily))) {
        return QLatin1String(kInterfaceFontFamily);
    }
    const QString family = installedCjkFamily(database);
    if (family.isEmpty()) {
        qWarning() << "no installed font covers Simplified Chinese; texts may show as boxes";
        return QString();
    }
    for (const char* spelling : kInterfaceSpellings) {
        QFont::insertSubstitution(QLatin1String(spelling), family);
    }
    qDebug() << kInterfaceFontFamily << "is drawn with" << family;
    return family;
}

}  // namespace vantor
