// The wireless Android phones casting now (Utility::usbConnectedDev_ser), one row
// each; a row's "断开" ends the casting.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class WirelessAnConnected;
}

class WirelessAnConnected : public QWidget {
    Q_OBJECT
public:
    explicit WirelessAnConnected(QWidget* parent = nullptr);
    ~WirelessAnConnected() override;

public slots:
    // One row per listed phone; stops the refresh spin.
    void slotGetScanDev();
    // Forgets every phone, drops the rows and tells the pages that nothing is
    // connected any more (the main window's havedevicecoming(0)).
    void slotDisConnect(QString id);
    void on_refreshBtn_clicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WirelessAnConnected* ui;
};
