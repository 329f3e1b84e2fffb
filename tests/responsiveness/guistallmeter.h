// Measures how long the GUI thread stays away from its event loop: a 10 ms
// repeating timer on that thread notes the longest gap between two ticks. Any
// call that blocks the thread (in a slot, or in the test's own code between
// begin and end) shows up as one long gap.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class GuiStallMeter : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 10;

    GuiStallMeter();

    void begin();
    // The longest gap since begin() in milliseconds, the one still open included.
    double end();

private:
    void tick();

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastTickNs_ = 0;
    qint64 longestGapNs_ = 0;
};
