// The look every dialog shares: a frameless tool window with a translucent margin
// around a white, round-cornered `mainFrame` that wears the drop shadow, optionally
// dragged by a title frame.
#pragma once

#include <QDialog>

#include "Comm/windowdrag.h"

class QFrame;

class FramelessDialog : public QDialog {
    Q_OBJECT
public:
    explicit FramelessDialog(QWidget* parent = nullptr,
                             Qt::WindowFlags extraFlags = Qt::WindowFlags());

protected:
    // Call once the form is built: the shadow goes on `mainFrame`, and presses on
    // `titleFrame` (when given) drag the dialog.
    void decorate(QFrame* mainFrame, QWidget* titleFrame = nullptr);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_titleFrame = nullptr;
    WindowDrag m_drag;
};
