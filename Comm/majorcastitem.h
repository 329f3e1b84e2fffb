// A cast-direction tab of the main window: its name and the bar under it, both
// recoloured when the tab is selected.
#pragma once

#include <QRect>
#include <QWidget>

class QLabel;

class MajorCastItem : public QWidget {
    Q_OBJECT
public:
    MajorCastItem(QRect textRect, QString textName, QRect bgLabelRect, QString backcolor,
                  QWidget* parent = nullptr);

    void updateItem(QString textColor, QString backcolor);
    void setName(const QString& textName);
    QString name() const;

private:
    void applyColours();

    QLabel* m_nameLabel;
    QLabel* m_barLabel;
    QString m_textColor = QStringLiteral("rgba(27,33,46,1)");
    QString m_barColor;
};
