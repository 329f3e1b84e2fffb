#include "PcCastTv/sinkitem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QtDebug>

#include "Comm/uiimages.h"

namespace {

QString buttonTextFor(bool casting)
{
    return casting ? QStringLiteral("断开") : QStringLiteral("投屏");
}

}  // namespace

SinkItem::SinkItem(QString icon, QString name, QString host, QWidget* parent, bool state)
    : QWidget(parent),
      m_name(name),
      m_host(host),
      m_iconLabel(new QLabel(this)),
      m_nameLabel(new QLabel(this)),
      m_button(new QPushButton(this))
{
    setStyleSheet(QStringLiteral("background-color:transparent;font:14px 'MicrosoftYaHei';"));
    m_iconLabel->setMinimumSize(16, 22);
    vantor::setPicture(m_iconLabel, icon);
    m_nameLabel->setTextFormat(Qt::PlainText);  // names come from the network
    m_nameLabel->setMinimumSize(150, 12);
    m_nameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    showName();
    m_nameLabel->setStyleSheet(QStringLiteral("color:#1B212E;"));
    m_button->setFlat(true);
    m_button->setMinimumSize(28, 12);
    m_button->setMaximumSize(49, 21);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setStyleSheet(QStringLiteral("color:#2A7FEC;"));
    m_button->setText(buttonTextFor(state));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(5, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(m_iconLabel);
    layout->addWidget(m_nameLabel, 1);
    layout->addWidget(m_button);

    connect(m_button, &QPushButton::clicked, this, &SinkItem::slotOnBtnClicked);
}

void SinkItem::showName()
{
    m_nameLabel->ensurePolished();
    m_nameLabel->setText(
        m_nameLabel->fontMetrics().elidedText(m_name, Qt::ElideRight, m_nameLabel->width()));
    m_nameLabel->setToolTip(Qt::convertFromPlainText(m_name, Qt::WhiteSpaceNormal));
}

void SinkItem::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    showName();
}

QString SinkItem::buttonText() const { return m_button->text(); }

void SinkItem::update(const QString& name, bool casting)
{
    if (name != m_name) {
        m_name = name;
        showName();
    }
    const QString text = buttonTextFor(casting);
    if (m_button->text() != text) {
        m_button->setText(text);
        qDebug() << "receiver row" << m_host << "reads" << text;
    }
}

void SinkItem::slotOnBtnClicked()
{
    qDebug() << "m_id " << m_name << " host " << m_host;
    emit sigClick(m_host);
}
