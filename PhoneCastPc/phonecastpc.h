// The phone-to-PC view of the main window (page `phoneCastPc`), which the tabs do
// not lead to: a side list of the ways a phone casts to this PC (wireless Android,
// wireless Apple, wired Android), the page of the chosen way, and a bar with this
// PC's name, address and network.
#pragma once

#include <QModelIndex>
#include <QString>
#include <QVector>
#include <QWidget>

namespace Ui {
class PhoneCastPc;
}

class MinorCastItem;

class PhoneCastPc : public QWidget {
    Q_OBJECT
public:
    explicit PhoneCastPc(QWidget* parent = nullptr);
    ~PhoneCastPc() override;

public slots:
    // Rows 1, 2 and 5 show their page and take the active look; headings and the
    // spacer (rows 0, 3, 4) are ignored.
    void slotMinorCastListUpdate(QModelIndex index);
    void slotUpdateHostName(QString hostName);
    void slotUpdateCurNet(bool available);
    // An empty address reads as a red "无".
    void slotUpdateIP(QString ip);

protected:
    void changeEvent(QEvent* event) override;

private:
    void fillMinorCastList();
    void retranslate();

    Ui::PhoneCastPc* ui;
    // One per row; the spacer row has none.
    QVector<MinorCastItem*> m_items;
    QString m_ip;
};
