// Wireless Android casting: what to do before a phone connects, the wait while the
// phone confirms, and the phones casting now. The main window's phone-side signals
// choose the page.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class WirelessAndriod;
}

class WirelessAndriod : public QWidget {
    Q_OBJECT
public:
    enum Page { kNoConnectionPage = 0, kConnectingPage = 1, kConnectedPage = 2 };
    // havedeviceconnected's status values.
    static constexpr int kDeviceDisconnected = 0;
    static constexpr int kDeviceConnected = 2;

    explicit WirelessAndriod(QWidget* parent = nullptr);
    ~WirelessAndriod() override;

public slots:
    // 0: nothing connected, 1: a phone is about to cast; other values are ignored.
    void slot_havedevicecoming(int state);
    // kDeviceConnected lists the phone and shows it casting; kDeviceDisconnected
    // closes the keep-alive clients, forgets every phone and goes back to page 0.
    void slot_havedeviceconnected(QString deviceid, int status);

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WirelessAndriod* ui;
};
