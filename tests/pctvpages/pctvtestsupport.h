// What the PC-to-TV page suites share: the process set-up the desktop program does
// before and after its QApplication, the whole main window and its PC-to-TV pages,
// announcing vantor-receiver processes on loopback addresses, a recorder of the
// toasts that appear, window-level clicks and the screenshots folder.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QtTest>
#include <functional>

class CastContentChoice;
class CustomButton;
class PcCastFindDev;
class PcCastNoDev;
class PcCastTv;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class SinkItem;
class Toast;
class UiManage;

namespace vantor::pctvtest {

// Before the QApplication: Xlib threads, Qt's attributes as the program sets them, and
// HOME / XDG_CONFIG_HOME in a temporary directory that lives until the process ends.
void prepareProcess();
// After the QApplication: the compiled-in pictures and the program's interface font.
// Returns the family the interface font resolves to (empty: no Chinese font).
QString prepareApplication();

// Where the screenshots go (created on first use); `name` without folder.
QString screenshotPath(const QString& name);
// Saves `picture`; false when it is empty or cannot be written.
bool saveScreenshot(const QPixmap& picture, const QString& name);

// The main window built and shown as the program does it, and its PC-to-TV pages.
class MainWindow {
public:
    // Builds the window, shows it at a fixed place and starts the receiver table.
    bool open();
    void close();

    UiManage* window() const { return m_window; }
    PcCastTv* pcCastTv() const;
    QStackedWidget* castState() const;
    PcCastNoDev* noDev() const;
    PcCastFindDev* findDev() const;

    // The page's controls by their form names.
    static QLineEdit* castCode(QWidget* page);
    static QPushButton* castBtn(QWidget* page);
    static CustomButton* contentButton(QWidget* page);
    static QComboBox* contentCombo(QWidget* page);
    static CastContentChoice* contentChoice(QWidget* page);

    // The rows of the receiver list as the user sees them, top first.
    QList<SinkItem*> rows() const;
    QStringList rowHosts() const;

private:
    UiManage* m_window = nullptr;
};

// The name as the row's label shows it (the label inside the SinkItem).
QString rowLabelText(const SinkItem* row);

// One vantor-receiver announcing itself by unicast to 127.0.0.1:43572 from `address`.
class AnnouncingReceiver {
public:
    AnnouncingReceiver(const QString& address, const QString& code, const QString& name,
                       const QString& answer = QStringLiteral("accept"));
    ~AnnouncingReceiver();
    AnnouncingReceiver(const AnnouncingReceiver&) = delete;
    AnnouncingReceiver& operator=(const AnnouncingReceiver&) = delete;

    // Waits for the "ready" line (its first announcement has been sent by then); a
    // receiver that found its address taken is started again meanwhile.
    bool waitUntilReady(int timeoutMs = 10000);
    // SIGTERM: the receiver withdraws its announcement and exits.
    bool terminate(int timeoutMs = 5000);
    // SIGKILL: gone without a word; its record stays until it expires.
    bool kill(int timeoutMs = 5000);

    // The receiver's "cast-summary" lines printed so far (one per cast).
    QStringList castSummaries();
    // The number after "key=" in a summary line, or -1.
    static long long summaryField(const QString& summary, const QString& key);

    const QString& address() const { return m_address; }
    const QString& code() const { return m_code; }
    const QString& name() const { return m_name; }
    QString output();
    QString errorOutput();

private:
    static constexpr int kCannotBindExitCode = 1;
    void launch();

    QString m_address;
    QString m_code;
    QString m_name;
    QStringList m_arguments;
    QProcess m_process;
    QString m_output;
};

// Collects every Toast that shows up after its construction (top-level widgets polled
// every 20 ms, in nested event loops too) with its text, each toast once.
class ToastRecorder : public QObject {
public:
    ToastRecorder();

    // Looks at the top-level widgets now (the timer does it every 20 ms).
    void poll();
    QStringList texts();
    int count(const QString& text);
    // The texts in order of appearance, separated by " | " (readable in a failed compare).
    QString joined();
    void clear();

private:
    QTimer m_timer;
    QList<QPointer<Toast>> m_seen;
    QStringList m_texts;
};

// `texts` as ToastRecorder::joined() shows them.
QString toastSequence(const QStringList& texts);

// A left click at `local` of `widget` delivered to its window the way the X server's
// events are: the press reaches whatever widget is under the point.
void clickThroughWindow(QWidget* widget, QPoint local);

// Calls `onOpen` once with the widget as soon as `find` returns one (polled every
// 20 ms, in nested event loops too); gives up after `timeoutMs`.
class WhenShown : public QObject {
public:
    WhenShown(std::function<QWidget*()> find, std::function<void(QWidget*)> onOpen,
              int timeoutMs = 5000);
    bool happened() const { return m_happened; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::function<QWidget*()> m_find;
    std::function<void(QWidget*)> m_onOpen;
    int m_timeoutMs;
    bool m_happened = false;
};

}  // namespace vantor::pctvtest

// A main for one test class: the program's process set-up around QTest::qExec.
#define VANTOR_PCTV_TEST_MAIN(TestClass)        \
    int main(int argc, char** argv)             \
    {                                           \
        vantor::pctvtest::prepareProcess();     \
        QApplication app(argc, argv);           \
        vantor::pctvtest::prepareApplication(); \
        TestClass test;                         \
        QTEST_SET_MAIN_SOURCE_PATH              \
        return QTest::qExec(&test, argc, argv); \
    }

// The toasts `recorder` has seen are exactly `expected` (a QStringList), in that order;
// a failure prints both sequences as text.
#define VANTOR_COMPARE_TOASTS(recorder, expected)                                                 \
    do {                                                                                          \
        const QString actualToasts = (recorder).joined();                                         \
        const QString expectedToasts = vantor::pctvtest::toastSequence(expected);                 \
        QVERIFY2(actualToasts == expectedToasts, QStringLiteral("toasts \"%1\", expected \"%2\"") \
                                                     .arg(actualToasts, expectedToasts)           \
                                                     .toUtf8()                                    \
                                                     .constData());                               \
    } while (false)
