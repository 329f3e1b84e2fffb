// The plugged-in phone asks whether to allow USB debugging; the user allows it on the
// phone and goes on here.
#pragma once

#include <QWidget>

namespace Ui {
class WireAnAllowUsbDebug;
}

class WireAnAllowUsbDebug : public QWidget {
    Q_OBJECT
public:
    explicit WireAnAllowUsbDebug(QWidget* parent = nullptr);
    ~WireAnAllowUsbDebug() override;

signals:
    // "已开启，下一步" was clicked.
    void sigNextStep();

public slots:
    void on_pushButton_clicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WireAnAllowUsbDebug* ui;
};
