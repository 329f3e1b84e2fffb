// The PC-to-TV view of the main window (page `pcCastTv`): shows the page without
// receivers until the first one is known, then the page that lists them, checked
// every two seconds. Both pages share one launcher, so every outcome of the session
// shows once.
#pragma once

#include <QWidget>

namespace Ui {
class PcCastTv;
}

class CastLauncher;

class PcCastTv : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPageChoiceMs = 2000;
    enum Page { kNoDevPage = 0, kFindDevPage = 1, kPcCastPcPage = 2 };

    explicit PcCastTv(QWidget* parent = nullptr);
    ~PcCastTv() override;

public slots:
    void updateUI();
    void slotUpdateHostName(QString hostName);
    void slotUpdateCurNet(bool available);
    void slotUpdateIP(QString ip);

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::PcCastTv* ui;
    CastLauncher* m_launcher;
};
