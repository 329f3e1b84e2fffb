#include "Comm/customlistitem.h"

#include <QHBoxLayout>
#include <QLabel>

#include "Comm/uiimages.h"

CustomListItem::CustomListItem(QString text, QString icon, QWidget* parent)
    : QWidget(parent), m_textLabel(new QLabel(this)), m_iconLabel(new QLabel(this))
{
    setAutoFillBackground(false);  // the list's hover colour shows through
    m_textLabel->setStyleSheet(QStringLiteral("font:12px; color:#1B212E;"));
    m_textLabel->setTextFormat(Qt::PlainText);
    m_textLabel->setText(text);
    m_iconLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (!icon.isEmpty()) {
        vantor::setPicture(m_iconLabel, icon);
    }

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(5);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(m_textLabel, 1);
    layout->addWidget(m_iconLabel);
}

QString CustomListItem::text() const { return m_textLabel->text(); }
