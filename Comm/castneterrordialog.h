// "投屏出现问题": shown modally when a receiver cannot be reached.
#pragma once

#include "Comm/framelessdialog.h"

namespace Ui {
class CastNetErrorDialog;
}

class CastNetErrorDialog : public FramelessDialog {
    Q_OBJECT
public:
    explicit CastNetErrorDialog(QWidget* parent = nullptr);
    ~CastNetErrorDialog() override;

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_closeBtn_clicked();

private:
    Ui::CastNetErrorDialog* ui;
};
