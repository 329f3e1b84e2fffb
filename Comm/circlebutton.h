// The refresh button that spins while the pages wait for receivers: 30 degrees every
// 50 ms, the picture scaled to the whole button.
#pragma once

#include <QPixmap>
#include <QPushButton>
#include <QTimer>

class CircleButton : public QPushButton {
    Q_OBJECT
public:
    static constexpr int kStepMs = 50;
    static constexpr int kStepDegrees = 30;

    explicit CircleButton(QWidget* parent = nullptr);

    void start();
    // Draws the picture upright again; the angle is kept, so start() resumes from it.
    void stop();

    bool isSpinning() const { return m_spinning; }
    int angle() const { return m_angle; }

public slots:
    void onTimeout();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
    QTimer m_timer;
    bool m_spinning = false;
    int m_angle = 0;
};
