#include "Comm/windowdrag.h"

#include <QMouseEvent>
#include <QWidget>

void WindowDrag::handle(QWidget* window, QEvent* event)
{
    if (window == nullptr || event == nullptr) {
        return;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_dragging = true;
                m_offset = mouse->globalPos() - window->pos();
                mouse->accept();
            }
            break;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (m_dragging && mouse->buttons() == Qt::LeftButton) {
                window->move(mouse->globalPos() - m_offset);
                mouse->accept();
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                m_dragging = false;
            }
            break;
        default:
            break;
    }
}
