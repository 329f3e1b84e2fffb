// "刷新" on the PC-to-TV pages: the refresh icon spins for ten seconds. The receiver
// list follows the announcements on its own; nothing is rescanned.
#pragma once

#include <QTimer>

#include "Comm/circlebutton.h"

inline constexpr int kRefreshSpinMs = 10000;

inline void spinRefresh(CircleButton* button)
{
    button->start();
    QTimer::singleShot(kRefreshSpinMs, button, [button] { button->stop(); });
}
