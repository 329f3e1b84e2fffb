#include "Comm/framelessdialog.h"

#include <QFrame>

#include "Comm/utility.h"

FramelessDialog::FramelessDialog(QWidget* parent, Qt::WindowFlags extraFlags)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Tool | extraFlags)
{
}

void FramelessDialog::decorate(QFrame* mainFrame, QWidget* titleFrame)
{
    Utility::setShadowEffect(this, mainFrame);
    m_titleFrame = titleFrame;
    if (m_titleFrame != nullptr) {
        m_titleFrame->installEventFilter(this);
    }
}

bool FramelessDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_titleFrame) {
        m_drag.handle(this, event);
    }
    return QDialog::eventFilter(watched, event);
}
