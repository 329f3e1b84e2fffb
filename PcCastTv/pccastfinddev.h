// The PC-to-TV page while receivers are known: 方法1 lists them, one row each with
// its 投屏 / 断开 button, kept current every second; 方法2 casts by the typed cast code.
#pragma once

#include <QWidget>

namespace Ui {
class PcCastFindDev;
}

class CastContentChoice;
class CastLauncher;
class QAction;
class SinkItem;

class PcCastFindDev : public QWidget {
    Q_OBJECT
public:
    static constexpr int kListUpdateMs = 1000;

    explicit PcCastFindDev(QWidget* parent = nullptr);
    ~PcCastFindDev() override;

    // The page set's shared launcher (its toasts subscription is shared too).
    void setLauncher(CastLauncher* launcher) { m_launcher = launcher; }
    CastContentChoice* contentChoice() const { return m_content; }
    QList<SinkItem*> rows() const;

public slots:
    void slotGetScanDev();
    void updateDeviceList();
    void castOpertion(QString host);
    void onClickWindow(QAction* action);
    void on_refreshBtn_clicked();
    void on_castBtn_clicked();
    void on_castContenSelect_currentIndexChanged(int index);
    void on_castContenSelect_highlighted(int index);
    void on_pushButton_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void appendRow(const QString& name, const QString& host);

    Ui::PcCastFindDev* ui;
    CastLauncher* m_launcher;
    CastContentChoice* m_content;
};
