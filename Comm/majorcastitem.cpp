#include "Comm/majorcastitem.h"

#include <QLabel>

MajorCastItem::MajorCastItem(QRect textRect, QString textName, QRect bgLabelRect, QString backcolor,
                             QWidget* parent)
    : QWidget(parent),
      m_nameLabel(new QLabel(this)),
      m_barLabel(new QLabel(this)),
      m_barColor(backcolor)
{
    m_nameLabel->setGeometry(textRect);
    m_nameLabel->setAlignment(Qt::AlignCenter);
    m_nameLabel->setTextFormat(Qt::PlainText);
    m_nameLabel->setText(textName);
    m_barLabel->setGeometry(bgLabelRect);
    applyColours();
}

void MajorCastItem::updateItem(QString textColor, QString backcolor)
{
    m_textColor = textColor;
    m_barColor = backcolor;
    applyColours();
}

void MajorCastItem::setName(const QString& textName) { m_nameLabel->setText(textName); }

QString MajorCastItem::name() const { return m_nameLabel->text(); }

void MajorCastItem::applyColours()
{
    m_nameLabel->setStyleSheet(
        QStringLiteral("font-family:'Microsoft YaHei';font-size:14px;font-weight:400;color:%1;")
            .arg(m_textColor));
    m_barLabel->setStyleSheet(QStringLiteral("background:%1;").arg(m_barColor));
}
