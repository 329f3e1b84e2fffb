// A wireless Android phone is about to cast: the user confirms on the phone.
#pragma once

#include <QWidget>

namespace Ui {
class WirelessAnConnecting;
}

class WirelessAnConnecting : public QWidget {
    Q_OBJECT
public:
    explicit WirelessAnConnecting(QWidget* parent = nullptr);
    ~WirelessAnConnecting() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WirelessAnConnecting* ui;
};
