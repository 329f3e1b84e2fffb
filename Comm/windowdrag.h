// Moves a frameless window while the left button drags one of its title areas. The
// owner's event filter passes every event of those areas here; nothing is consumed.
#pragma once

#include <QPoint>

class QEvent;
class QWidget;

class WindowDrag {
public:
    // Press (left button) starts a drag, a move with only the left button held moves
    // `window`, release of the left button ends it. Other events are ignored.
    void handle(QWidget* window, QEvent* event);

    bool isDragging() const { return m_dragging; }

private:
    bool m_dragging = false;
    QPoint m_offset;  // global mouse position - window position at the press
};
