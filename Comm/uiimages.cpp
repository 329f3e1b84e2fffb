#include "Comm/uiimages.h"

#include <QIcon>
#include <QImageReader>
#include <QLabel>

namespace vantor {

QPixmap sharpPixmap(const QString& path)
{
    const QSize logicalSize = QImageReader(path).size();
    if (!logicalSize.isValid()) {
        return QPixmap(path);
    }
    // QIcon knows the @2x file and returns a pixmap whose device pixel ratio matches
    // the screens, where a plain QPixmap would be the 1x picture scaled up.
    return QIcon(path).pixmap(logicalSize);
}

void setPicture(QLabel* label, const QString& path)
{
    if (label != nullptr) {
        label->setPixmap(sharpPixmap(path));
    }
}

}  // namespace vantor
