// Wired (USB) Android casting: the steps before a phone is plugged in, the phone's
// USB-debugging authorisation, the wait while connecting, the phones connected, and
// the page for no phone found. Starts on the steps.
#pragma once

#include <QWidget>

namespace Ui {
class WireAndriod;
}

class WireAndriod : public QWidget {
    Q_OBJECT
public:
    enum Page {
        kAllowUsbDebugPage = 0,
        kNoConnectionPage = 1,
        kConnectingPage = 2,
        kConnectedPage = 3,
        kDisconnectPage = 4
    };
    // Each step waits this long for the page to settle before the next check of the
    // phone; there is nothing to check yet.
    static constexpr int kSettleMs = 100;

    explicit WireAndriod(QWidget* parent = nullptr);
    ~WireAndriod() override;

signals:
    // A phone was plugged in but not recognised: the no-phone page's help opens.
    void sigGotUsbPlugin();

public slots:
    void slotGotoNoDevicePage();
    // The USB-debugging authorisation.
    void slotGotoNextPage();
    void slotUsbPlugin();
    // Connecting.
    void slotGotoWaittingPage();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WireAndriod* ui;
};
