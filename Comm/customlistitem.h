// One row of the cast-content list: its text and, for "程序窗口", an arrow at the right.
#pragma once

#include <QWidget>

class QLabel;

class CustomListItem : public QWidget {
    Q_OBJECT
public:
    CustomListItem(QString text, QString icon, QWidget* parent = nullptr);

    QString text() const;

private:
    QLabel* m_textLabel;
    QLabel* m_iconLabel;
};
