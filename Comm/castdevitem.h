// A connected phone's row on the phone-to-PC pages: icon, the phone's id and a button
// that reads "断开" while connected and "投屏" otherwise.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

class CastDevItem : public QWidget {
    Q_OBJECT
public:
    CastDevItem(QString icon, QString id, QString name, QWidget* parent = nullptr,
                bool state = false);

    QString getDevId() const { return m_id; }
    // Sets the button's text.
    void updateItem(QString text);
    QString buttonText() const;
    QPushButton* button() const { return m_button; }

signals:
    void sigDisConnect(QString id);
    void sigConnect(QString host);

public slots:
    void slotConnected(QString);
    void slotDisconnect(QString);
    void slotOnBtnClicked();

private:
    QString m_id;
    QString m_name;
    QLabel* m_iconLabel;
    QLabel* m_idLabel;
    QPushButton* m_button;
};
