// The short message every page shows for an outcome ("开始投屏, 请在大屏幕确认."):
// fades in over a second, stays two, fades out and deletes itself.
#pragma once

#include <QWidget>

namespace Ui {
class ToastClass;
}

class Toast : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 1000;
    static constexpr int kShownMs = 2000;  // from showing to the start of the fade-out

    // Shows `text` centred over `parent`, 9/10 of its height down. The toast owns
    // itself; several may be on screen at once.
    static Toast* showTip(const QString& text, QWidget* parent);

    ~Toast() override;

    QString text() const;

    // Where showTip puts a toast of `toastWidth` over `parent` (global coordinates).
    static QPoint placement(const QWidget* parent, int toastWidth);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    explicit Toast(QWidget* parent);
    void setText(const QString& text);
    void fadeIn();
    void fadeOut();

    Ui::ToastClass* ui;
};
