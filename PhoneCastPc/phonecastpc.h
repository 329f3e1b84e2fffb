// The phone-to-PC view of the main window (page `phoneCastPc`), which the tabs do
// not lead to. Its side list and the wireless and wired sub-pages are added here by
// the phone-to-PC pages.
#pragma once

#include <QWidget>

class PhoneCastPc : public QWidget {
    Q_OBJECT
public:
    explicit PhoneCastPc(QWidget* parent = nullptr);
};
