// Every text a form shows a user: labels, buttons, combo and list rows, place-holders
// and window titles, each with the font the widget draws it in.
#pragma once

#include <QFont>
#include <QList>
#include <QString>

class QWidget;

struct ShownText {
    QString objectName;
    QString text;
    QFont font;
};

QList<ShownText> shownTexts(QWidget* root);

// The characters of `text` the font's own face cannot draw (fallback faces do not
// count: a label must not depend on whatever the system happens to substitute).
QString charactersMissingFrom(const QFont& font, const QString& text);
