// "设备无法识别，请尝试以下方法": help for a phone the USB connection does not find.
#pragma once

#include "Comm/framelessdialog.h"

namespace Ui {
class NotFindUsbDevDialog;
}

class NotFindUsbDevDialog : public FramelessDialog {
    Q_OBJECT
public:
    explicit NotFindUsbDevDialog(QWidget* parent = nullptr);
    ~NotFindUsbDevDialog() override;

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_closeBtn_clicked();

private:
    Ui::NotFindUsbDevDialog* ui;
};
