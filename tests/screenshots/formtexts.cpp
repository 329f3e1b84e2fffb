#include "formtexts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRawFont>
#include <QTextDocumentFragment>
#include <QWidget>

namespace {

void add(QList<ShownText>* texts, QWidget* widget, const QString& text)
{
    if (!text.trimmed().isEmpty()) {
        widget->ensurePolished();  // the style sheet's font is applied by polishing
        texts->append({widget->objectName(), text, widget->font()});
    }
}

QString visibleText(const QLabel* label)
{
    if (label->textFormat() == Qt::PlainText) {
        return label->text();
    }
    return QTextDocumentFragment::fromHtml(label->text()).toPlainText();
}

}  // namespace

QList<ShownText> shownTexts(QWidget* root)
{
    QList<ShownText> texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (widget->isWindow()) {
            add(&texts, widget, widget->windowTitle());
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            add(&texts, widget, visibleText(label));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            add(&texts, widget, button->text());
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            for (int i = 0; i < combo->count(); ++i) {
                add(&texts, widget, combo->itemText(i));
            }
        } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
            for (int i = 0; i < list->count(); ++i) {
                add(&texts, widget, list->item(i)->text());
            }
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            add(&texts, widget, edit->placeholderText());
            add(&texts, widget, edit->text());
        }
    }
    return texts;
}

QString charactersMissingFrom(const QFont& font, const QString& text)
{
    const QRawFont face = QRawFont::fromFont(font);
    QString missing;
    for (const uint character : text.toUcs4()) {
        if (QChar::isSpace(character) || QChar::category(character) == QChar::Other_Control) {
            continue;
        }
        if (!face.isValid() || !face.supportsCharacter(character)) {
            missing += QString::fromUcs4(&character, 1);
        }
    }
    return missing;
}
