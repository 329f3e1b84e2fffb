// A receiver's row on the PC-to-TV page: its icon, its name (as the receiver
// announces it, never read as markup) and a button reading "投屏", or "断开" while
// this PC casts to it.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

class SinkItem : public QWidget {
    Q_OBJECT
public:
    SinkItem(QString icon, QString name, QString host, QWidget* parent, bool state);

    QString host() const { return m_host; }
    QString name() const { return m_name; }
    QString buttonText() const;
    QPushButton* button() const { return m_button; }

    // The receiver's current name and whether this PC casts to it.
    void update(const QString& name, bool casting);

signals:
    void sigClick(QString host);

protected:
    void resizeEvent(QResizeEvent* event) override;

public slots:
    void slotOnBtnClicked();

private:
    // A name wider than its label ends in "…"; the whole name is the tool tip.
    void showName();

    QString m_name;
    QString m_host;
    QLabel* m_iconLabel;
    QLabel* m_nameLabel;
    QPushButton* m_button;
};
