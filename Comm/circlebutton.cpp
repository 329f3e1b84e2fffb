#include "Comm/circlebutton.h"

#include <QPainter>

#include "Comm/uiimages.h"

CircleButton::CircleButton(QWidget* parent)
    : QPushButton(parent), m_picture(vantor::sharpPixmap(QStringLiteral(":/img/icon_sx.png")))
{
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, &CircleButton::onTimeout);
}

void CircleButton::start()
{
    m_timer.start();
    m_spinning = true;
}

void CircleButton::stop()
{
    m_timer.stop();
    m_spinning = false;
    update();
}

void CircleButton::onTimeout()
{
    // 360 is drawn once (as upright as 0) before the angle wraps.
    m_angle = m_angle == 360 ? 0 : m_angle + kStepDegrees;
    update();
}

void CircleButton::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::NoBrush);
        if (m_spinning) {
            const QPointF centre = QRectF(rect()).center();
            painter.translate(centre);
            painter.rotate(m_angle);
            painter.translate(-centre);
        }
        painter.drawPixmap(rect(), m_picture);
    }
    QPushButton::paintEvent(event);
}
