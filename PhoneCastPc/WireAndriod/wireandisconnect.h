// No phone is connected over USB: plug one in, or refresh, which opens the help for a
// phone that is not recognised.
#pragma once

#include <QWidget>

namespace Ui {
class WireAnDisconnect;
}

class WireAnDisconnect : public QWidget {
    Q_OBJECT
public:
    explicit WireAnDisconnect(QWidget* parent = nullptr);
    ~WireAnDisconnect() override;

signals:
    void sigNextStep();

public slots:
    // Stops the spin, then shows the help modally over the main window's shade.
    void on_refreshBtn_clicked();
    void stop_refreshbtn();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WireAnDisconnect* ui;
};
