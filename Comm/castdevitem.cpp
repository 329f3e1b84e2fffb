#include "Comm/castdevitem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QtDebug>

#include "Comm/uiimages.h"

namespace {
const QString kDisconnectText = QStringLiteral("断开");
const QString kCastText = QStringLiteral("投屏");
}  // namespace

CastDevItem::CastDevItem(QString icon, QString id, QString name, QWidget* parent, bool state)
    : QWidget(parent),
      m_id(id),
      m_name(name),
      m_iconLabel(new QLabel(this)),
      m_idLabel(new QLabel(this)),
      m_button(new QPushButton(this))
{
    setStyleSheet(QStringLiteral("background-color:transparent;font:14px 'MicrosoftYaHei';"));
    m_iconLabel->setMinimumSize(16, 22);
    vantor::setPicture(m_iconLabel, icon);
    // The id comes from the phone: never read as markup.
    m_idLabel->setTextFormat(Qt::PlainText);
    m_idLabel->setMinimumSize(150, 12);
    m_idLabel->setText(id);
    m_button->setFlat(true);
    m_button->setMinimumSize(28, 12);
    m_button->setMaximumSize(49, 21);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setStyleSheet(QStringLiteral("color:#2A7FEC;"));
    m_button->setText(state ? kDisconnectText : kCastText);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_iconLabel);
    layout->addWidget(m_idLabel, 1);
    layout->addWidget(m_button);

    connect(m_button, &QPushButton::clicked, this, &CastDevItem::slotOnBtnClicked);
}

void CastDevItem::updateItem(QString text) { m_button->setText(text); }

QString CastDevItem::buttonText() const { return m_button->text(); }

void CastDevItem::slotConnected(QString) {}

void CastDevItem::slotDisconnect(QString) {}

void CastDevItem::slotOnBtnClicked()
{
    qDebug() << "m_id " << m_id << " host " << m_name;
    if (m_button->text() == kDisconnectText) {
        m_button->setText(kCastText);
        qDebug() << "CastDevItem diconnect" << m_id;
        emit sigDisConnect(m_name);
    } else {
        m_button->setText(kDisconnectText);
        qDebug() << "CastDevItem connect" << m_id;
        emit sigConnect(m_name);
    }
}
