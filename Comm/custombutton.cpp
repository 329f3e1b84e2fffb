#include "Comm/custombutton.h"

#include <QHBoxLayout>
#include <QLabel>

#include "Comm/uiimages.h"

CustomButton::CustomButton(QWidget* parent)
    : QPushButton(parent), m_textLabel(new QLabel(this)), m_arrowLabel(new QLabel(this))
{
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_textLabel->setTextFormat(Qt::PlainText);
    vantor::setPicture(m_arrowLabel, QStringLiteral(":/img/iconxiala_.png"));

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(5);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(m_textLabel);
    layout->addWidget(m_arrowLabel);
}

void CustomButton::setText(const QString& text)
{
    m_textLabel->setStyleSheet(QStringLiteral("font:12px MicrosoftYaHei;color:#2A7FEC;"));
    m_textLabel->setText(text);
}

QString CustomButton::text() const { return m_textLabel->text(); }
