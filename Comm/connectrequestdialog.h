// A phone asks to cast to this PC: "<name> 希望连接这台电脑。" with 不允许 / 允许连接.
#pragma once

#include "Comm/framelessdialog.h"

namespace Ui {
class ConnectRequestDialog;
}

class ConnectRequestDialog : public FramelessDialog {
    Q_OBJECT
public:
    // The name comes from the phone: shown as plain text, cut with "…" to the label.
    ConnectRequestDialog(QString deviceName, QWidget* parent = nullptr);
    ~ConnectRequestDialog() override;

    QString deviceName() const { return m_deviceName; }

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_rejectBtn_clicked();
    void on_acceptBtn_clicked();

private:
    void showDeviceName();

    Ui::ConnectRequestDialog* ui;
    QString m_deviceName;
};
