// Wireless casting from an iPhone: the phone's own screen mirroring, on the network
// this PC is on.
#pragma once

#include <QWidget>

namespace Ui {
class WirelessApple;
}

class WirelessApple : public QWidget {
    Q_OBJECT
public:
    explicit WirelessApple(QWidget* parent = nullptr);
    ~WirelessApple() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WirelessApple* ui;
};
