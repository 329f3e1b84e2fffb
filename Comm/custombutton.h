// The cast-content button: the chosen content's name and a down arrow, opening the
// content list below it.
#pragma once

#include <QPushButton>

class QLabel;

class CustomButton : public QPushButton {
    Q_OBJECT
public:
    explicit CustomButton(QWidget* parent = nullptr);

    // Shown in the label, not as the push button's own text.
    void setText(const QString& text);
    QString text() const;

private:
    QLabel* m_textLabel;
    QLabel* m_arrowLabel;
};
