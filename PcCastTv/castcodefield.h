// The cast-code field of both PC-to-TV pages: only up to six digits can be typed, and
// its place-holder is drawn in the page's light grey rather than in the text colour.
#pragma once

#include <QColor>
#include <QLineEdit>
#include <QPalette>
#include <QRegularExpressionValidator>

inline void setUpCastCodeField(QLineEdit* field)
{
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^[0-9]{6}$")), field));
    QPalette palette = field->palette();
    palette.setColor(QPalette::PlaceholderText, QColor(0xB4, 0xBA, 0xC6));
    palette.setColor(QPalette::Text, QColor(0x1B, 0x21, 0x2E));
    field->setPalette(palette);
}
