// Shared by the window and widget suites: the process set-up the desktop program does
// before its first window (high-DPI attributes, Xlib threads, pictures, interface font),
// a private home and configuration directory, real mouse input through the window
// system interface, and answering modal dialogs from inside their exec().
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>

class QWidget;

namespace vantor::uitest {

// Before the QApplication: Qt's attributes as the program sets them, XInitThreads, and
// HOME / XDG_CONFIG_HOME in a temporary directory that lives until the process ends.
void prepareProcess();

// After the QApplication: the compiled-in pictures and the program's interface font.
void prepareApplication();

// HOME and XDG_CONFIG_HOME under a fresh temporary directory for as long as it lives.
class Sandbox {
public:
    Sandbox();
    bool isValid() const { return m_dir.isValid(); }
    QString configHome() const;
    QString home() const;
    QString configFile() const { return configHome() + QStringLiteral("/vantor/cfg.ini"); }
    QString autostartFile() const
    {
        return configHome() + QStringLiteral("/autostart/vantor.desktop");
    }

private:
    QTemporaryDir m_dir;
};

// Left-button press at `local` of `widget`, one move by `delta`, release: delivered to
// the widget's window the way the X server's events are, so the press reaches whatever
// widget is under the point and propagates from there.
void dragWithLeftButton(QWidget* widget, QPoint local, QPoint delta);

// A left click at `local` of `widget` (window-level delivery, as above).
void clickAt(QWidget* widget, QPoint local);

// A point of `widget` with none of its children under it, if there is one.
std::optional<QPoint> emptySpot(const QWidget* widget);

// Watches the event loops (the nested one of a dialog's exec() included) for a modal
// dialog other than `except`, then calls `answer` with it once. Whatever dialog is still
// open after `answer` returns is rejected, and so is any modal dialog still open at the
// time limit (unless `rejectOnTimeout` is false), so a blocked exec() always returns.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(std::function<void(QDialog*)> answer, QWidget* except = nullptr,
                          int timeoutMs = 10000, bool rejectOnTimeout = true);

    bool answered() const { return m_answered; }
    // The answer did not close the dialog it was given.
    bool leftOpen() const { return m_leftOpen; }

private:
    void poll();

    std::function<void(QDialog*)> m_answer;
    QPointer<QWidget> m_except;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_timeoutMs;
    bool m_rejectOnTimeout;
    bool m_answered = false;
    bool m_leftOpen = false;
};

}  // namespace vantor::uitest

// A main for one test class: the program's process set-up around QTest::qExec.
#define VANTOR_UI_TEST_MAIN(TestClass)          \
    int main(int argc, char** argv)             \
    {                                           \
        vantor::uitest::prepareProcess();       \
        QApplication app(argc, argv);           \
        vantor::uitest::prepareApplication();   \
        TestClass test;                         \
        QTEST_SET_MAIN_SOURCE_PATH              \
        return QTest::qExec(&test, argc, argv); \
    }
