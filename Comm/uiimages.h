// Pictures from the compiled-in images, sharp at any device pixel ratio: Qt's icon
// loader picks the "@2x" rendering beside each PNG when the screen needs it.
#pragma once

#include <QPixmap>
#include <QString>

class QLabel;

namespace vantor {

// The picture at `path` (":/img/..."), at its own logical size, rendered for the
// device pixel ratio of the application's screens.
QPixmap sharpPixmap(const QString& path);

// Puts sharpPixmap(path) on the label.
void setPicture(QLabel* label, const QString& path);

}  // namespace vantor
