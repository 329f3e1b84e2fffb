// "是否要断开连接?" with 取消 / 断开; stays above other windows.
#pragma once

#include "Comm/framelessdialog.h"

namespace Ui {
class DisConnectRequestDialog;
}

class DisConnectRequestDialog : public FramelessDialog {
    Q_OBJECT
public:
    explicit DisConnectRequestDialog(QWidget* parent = nullptr);
    ~DisConnectRequestDialog() override;

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_cancelButton_clicked();
    void on_okButton_clicked();

private:
    Ui::DisConnectRequestDialog* ui;
};
