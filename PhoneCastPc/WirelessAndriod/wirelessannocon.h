// Before a wireless Android phone connects: the three ways to cast from the Vantor
// app (automatic search, the six-digit cast code, the QR code) and the network the
// phone and this PC must share.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class WirelessAnNoCon;
}

class WirelessAnNoCon : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCastCodeDigits = 6;

    explicit WirelessAnNoCon(QWidget* parent = nullptr);
    ~WirelessAnNoCon() override;

public slots:
    // No QR code is drawn yet: the frame stays empty.
    void updateQrCodePic(QString qrCodeStr);
    // Digit i goes to castCode<i + 1>, as decimal text.
    void updateCastCode(int castCode[6]);
    void on_refreshBtn_clicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WirelessAnNoCon* ui;
};
