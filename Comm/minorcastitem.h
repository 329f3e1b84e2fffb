// A row of the phone-to-PC side list: a marker at the left edge, an icon and a name.
#pragma once

#include <QSize>
#include <QWidget>

class QLabel;

class MinorCastItem : public QWidget {
    Q_OBJECT
public:
    MinorCastItem(int hSpaceWidth1, QSize iconSize, QString iconName, int hSpaceWidth2,
                  QSize nameSize, QString textName, QWidget* parent = nullptr);

    // Background `bgcolor`, marker `backcolor`, the icon `iconName`, name colour `color`.
    void updateItem(QString iconName, QString color, QString backcolor, QString bgcolor);
    void setName(const QString& textName);
    QString name() const;

private:
    void setIcon(const QString& iconName);

    QLabel* m_marker;
    QLabel* m_icon;
    QLabel* m_name;
    QSize m_iconSize;
};
