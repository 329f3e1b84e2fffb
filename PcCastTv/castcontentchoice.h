// What to cast, as both PC-to-TV pages offer it: the selector list under the content
// button (主屏幕, 扩展屏幕 with two monitors, 程序窗口), the hidden combo that holds the
// chosen row, and the menu of program windows. Each choice becomes the session's
// capture target for the next cast.
#pragma once

#include <QObject>

class ButtonComBox;
class CustomButton;
class QAction;
class QComboBox;
class QMenu;
class QWidget;

class CastContentChoice : public QObject {
    Q_OBJECT
public:
    CastContentChoice(QWidget* page, CustomButton* button, QComboBox* combo);

    ButtonComBox* selector() const { return m_selector; }
    // The program-window menu while it is open (for tests), else null.
    QMenu* openMenu() const { return m_menu; }

    void openSelector();
    void closeSelector();
    // A row picked in the selector.
    void onHighlighted(int row);
    // The hidden combo's row changed: a screen row sets the capture target.
    void onCurrentIndexChanged(int index);
    void onClickWindow(QAction* action);

private:
    void showWindowMenu();

    QWidget* m_page;
    QComboBox* m_combo;
    ButtonComBox* m_selector;
    QMenu* m_menu = nullptr;
};

// A window title as the platform stores it: UTF-8 on X11, the ANSI code page on
// Windows.
QString windowTitleText(const char* title);
