// A page for casting to PCs that are already connected; the page stack keeps it but
// never shows it.
#pragma once

#include <QWidget>

namespace Ui {
class PcCastPc;
}

class PcCastPc : public QWidget {
    Q_OBJECT
public:
    explicit PcCastPc(QWidget* parent = nullptr);
    ~PcCastPc() override;

public slots:
    void slotGetScanDev();
    void on_refreshBtn_clicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::PcCastPc* ui;
};
