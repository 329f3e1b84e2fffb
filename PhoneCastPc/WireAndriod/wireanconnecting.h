// The wired phone is being connected.
#pragma once

#include <QWidget>

namespace Ui {
class WireAnConnecting;
}

class WireAnConnecting : public QWidget {
    Q_OBJECT
public:
    explicit WireAnConnecting(QWidget* parent = nullptr);
    ~WireAnConnecting() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WireAnConnecting* ui;
};
