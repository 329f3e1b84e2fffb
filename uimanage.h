// The application's only top-level window: frameless and shadowed with its own title
// bars, hosting the casting pages and the settings page. It quits the process from
// its close buttons and relays phone-side events to the phone-to-PC pages.
#pragma once

#include <QModelIndex>
#include <QMutex>
#include <QString>
#include <QWidget>

#include "Comm/windowdrag.h"

namespace Ui {
class UiManage;
}

class MajorCastItem;

class UiManage : public QWidget {
    Q_OBJECT
public:
    static UiManage* instance();

    // Once, after instance() and before show(): builds the form and wires the window.
    void init();

    void showShade();
    void hideShade();

    // Posting one of these to the window asks the user about a phone's connection
    // (connection request) or disconnection (disconnection request).
    int connectRequestEventType() const { return m_connectRequestEventType; }
    int disconnectRequestEventType() const { return m_disconnectRequestEventType; }
    QString pendingDeviceId() const { return m_pendingDeviceId; }

    ~UiManage() override;

signals:
    void havedevicecoming(int status);
    void havedeviceconnected(QString deviceid, int status);
    void sigGotUsbPlugin();

public slots:
    void slotMajorCastListUpdate(QModelIndex index);
    void on_settingBtn_clicked();
    void on_minBtn1_clicked();
    void on_closeBtn1_clicked();
    void on_backBtn_clicked();
    void on_minBtn2_clicked();
    void on_closeBtn2_clicked();
    void slot_havedevicecoming(QString deviceid);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    UiManage();
    void fillMajorCastList();
    void retranslate();
    void quit();

    Ui::UiManage* ui;
    bool m_formBuilt = false;
    QString m_pendingDeviceId;
    const int m_connectRequestEventType;
    const int m_disconnectRequestEventType;
    QList<MajorCastItem*> m_castTabs;
    WindowDrag m_drag;

    static UiManage* s_instance;
    static QMutex s_instanceMutex;
    static bool s_disconnectDialogOpen;
};
