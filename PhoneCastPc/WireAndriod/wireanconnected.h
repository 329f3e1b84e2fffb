// The phones connected over USB (Utility::vConnectedDev), one row each.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class WireAnConnected;
}

class WireAnConnected : public QWidget {
    Q_OBJECT
public:
    explicit WireAnConnected(QWidget* parent = nullptr);
    ~WireAnConnected() override;

signals:
    void sigNextStep();

public slots:
    // One row per listed phone; stops the refresh spin.
    void slotGetScanDev();
    void slotConnected(QString host);
    // A row's "断开": logged, and the rows are built again from the list.
    void slotDisconnect(QString host);
    void on_refreshBtn_clicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WireAnConnected* ui;
};
