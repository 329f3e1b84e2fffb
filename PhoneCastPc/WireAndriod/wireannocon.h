// Before a phone is plugged in: turn on USB debugging, then connect the cable; a
// button opens the help for a phone that is not recognised.
#pragma once

#include <QWidget>

namespace Ui {
class WireAnNoCon;
}

class WireAnNoCon : public QWidget {
    Q_OBJECT
public:
    explicit WireAnNoCon(QWidget* parent = nullptr);
    ~WireAnNoCon() override;

signals:
    // A phone is plugged in: on to its USB-debugging authorisation.
    void sigNextStep();

public slots:
    // There is no online guide yet; the help dialog is the guide.
    void openUrl();
    void on_pushButton_clicked();

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::WireAnNoCon* ui;
};
