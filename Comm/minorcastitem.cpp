#include "Comm/minorcastitem.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>

MinorCastItem::MinorCastItem(int hSpaceWidth1, QSize iconSize, QString iconName, int hSpaceWidth2,
                             QSize nameSize, QString textName, QWidget* parent)
    : QWidget(parent),
      m_marker(new QLabel(this)),
      m_icon(new QLabel(this)),
      m_name(new QLabel(this)),
      m_iconSize(iconSize)
{
    setObjectName(QStringLiteral("MinorCastItem"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#MinorCastItem{background:transparent;}"));
    m_marker->setFixedWidth(3);
    m_icon->setFixedSize(iconSize);
    setIcon(iconName);
    m_name->setMaximumSize(nameSize);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setStyleSheet(QStringLiteral("font: 14px;color:#626774;"));
    m_name->setText(textName);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_marker);
    layout->addSpacerItem(new QSpacerItem(hSpaceWidth1, 40, QSizePolicy::Fixed));
    layout->addWidget(m_icon);
    layout->addSpacerItem(new QSpacerItem(hSpaceWidth2, 40, QSizePolicy::Fixed));
    layout->addWidget(m_name);
    layout->addStretch();
}

void MinorCastItem::setIcon(const QString& iconName)
{
    // The side list's icons are SVG: rendered at the label's size for the screen.
    m_icon->setPixmap(iconName.isEmpty() ? QPixmap() : QIcon(iconName).pixmap(m_iconSize));
}

void MinorCastItem::updateItem(QString iconName, QString color, QString backcolor, QString bgcolor)
{
    setStyleSheet(QStringLiteral("#MinorCastItem{background:%1;}").arg(bgcolor));
    m_marker->setStyleSheet(QStringLiteral("background:%1;").arg(backcolor));
    setIcon(iconName);
    m_name->setStyleSheet(QStringLiteral("font: 14px;color:%1;").arg(color));
}

void MinorCastItem::setName(const QString& textName) { m_name->setText(textName); }

QString MinorCastItem::name() const { return m_name->text(); }
