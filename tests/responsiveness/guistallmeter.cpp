#include "tests/responsiveness/guistallmeter.h"

#include <algorithm>

GuiStallMeter::GuiStallMeter()
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &GuiStallMeter::tick);
}

void GuiStallMeter::begin()
{
    longestGapNs_ = 0;
    clock_.start();
    lastTickNs_ = 0;
    timer_.start();
}

double GuiStallMeter::end()
{
    tick();
    timer_.stop();
    return longestGapNs_ / 1e6;
}

void GuiStallMeter::tick()
{
    const qint64 now = clock_.nsecsElapsed();
    longestGapNs_ = std::max(longestGapNs_, now - lastTickNs_);
    lastTickNs_ = now;
}
