// The dialogs: a phone's connection request (its name never read as markup, cut to the
// label), the disconnection question above other windows, and the network error and USB
// help dialogs with their texts, close buttons and title-bar dragging.
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QtTest>

#include "Comm/castneterrordialog.h"
#include "Comm/connectrequestdialog.h"
#include "Comm/disconnectrequestdialog.h"
#include "Comm/notfindusbdevdialog.h"
#include "tests/ui/uitestsupport.h"

namespace {

template <typename T>
T* child(QWidget* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

// What a tool tip shows for `tip`: Qt decides between markup and plain text by a guess.
QString shownToolTip(const QString& tip)
{
    return Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText() : tip;
}

// Shows the dialog, then runs `exec()` with `answer` clicking inside it.
int execAnswering(QDialog* dialog, const char* buttonName, bool* answered)
{
    vantor::uitest::ModalWatcher watcher([&](QDialog* modal) {
        if (modal != dialog) {
            return;  // closed by the watcher: the test sees the wrong dialog's result
        }
        if (!QTest::qWaitForWindowExposed(modal)) {
            return;
        }
        auto* button = modal->findChild<QPushButton*>(QLatin1String(buttonName));
        if (button != nullptr) {
            QTest::mouseClick(button, Qt::LeftButton);
            *answered = true;
        }
    });
    return dialog->exec();
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void connectRequestCutsALongNameToTheLabel();
    void connectRequestShowsMarkupAsTyped_data();
    void connectRequestShowsMarkupAsTyped();
    void connectRequestToolTipShowsTheWholeNameAsTyped_data();
    void connectRequestToolTipShowsTheWholeNameAsTyped();
    void connectRequestButtonsRejectAndAccept();

    void disconnectRequestStaysOnTopAndAnswers();

    void castNetErrorTextsAndCloseButton();
    void castNetErrorDragsByItsTitleOnly();
    void notFindUsbDevDragsByItsTitleAndCloses();
};

void DialogsTest::connectRequestCutsALongNameToTheLabel()
{
    const QString name = QString(200, QLatin1Char('W'));
    ConnectRequestDialog dialog(name);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLabel* label = child<QLabel>(&dialog, "label1");
    QVERIFY(label != nullptr);

    const QString shown = label->text();
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QVERIFY(shown.size() < name.size());
    QVERIFY(shown.size() > 1);
    QVERIFY(name.startsWith(shown.chopped(1)));
    // Measured with the font the label draws with once shown (its style sheet's).
    QVERIFY2(label->fontMetrics().horizontalAdvance(shown) <= label->width(),
             qPrintable(QStringLiteral("%1 px in a %2 px label")
                            .arg(label->fontMetrics().horizontalAdvance(shown))
                            .arg(label->width())));
    QCOMPARE(dialog.deviceName(), name);
    QCOMPARE(child<QLabel>(&dialog, "label2")->text(), QStringLiteral("希望连接这台电脑。"));

    // Re-translated texts keep the cut name.
    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&dialog, &languageChange);
    QCOMPARE(label->text(), shown);
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
}

void DialogsTest::connectRequestShowsMarkupAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("image") << QStringLiteral("<img src=x>");
    QTest::newRow("link") << QStringLiteral("<a href='x'>y</a>");
    QTest::newRow("bold") << QStringLiteral("<b>Mi</b> 13");
}

void DialogsTest::connectRequestShowsMarkupAsTyped()
{
    QFETCH(QString, name);
    ConnectRequestDialog dialog(name);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLabel* label = child<QLabel>(&dialog, "label1");
    QCOMPARE(label->text(), name);
    QCOMPARE(label->textFormat(), Qt::PlainText);
}

void DialogsTest::connectRequestToolTipShowsTheWholeNameAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("image") << QStringLiteral("<img src=x>");
    QTest::newRow("ampersand") << QStringLiteral("Tom & Jerry");
    QTest::newRow("greater than") << QStringLiteral("a > b");
    QTest::newRow("entity") << QStringLiteral("R&amp;D");
    QTest::newRow("quotes") << QStringLiteral("Joe's \"phone\"");
    QTest::newRow("long") << QString(200, QLatin1Char('W'));
}

void DialogsTest::connectRequestToolTipShowsTheWholeNameAsTyped()
{
    QFETCH(QString, name);
    ConnectRequestDialog dialog(name);
    QLabel* label = child<QLabel>(&dialog, "label1");
    QCOMPARE(shownToolTip(label->toolTip()), name);
}

void DialogsTest::connectRequestButtonsRejectAndAccept()
{
    {
        ConnectRequestDialog dialog(QStringLiteral("phone-1"));
        bool answered = false;
        QCOMPARE(execAnswering(&dialog, "rejectBtn", &answered), int(QDialog::Rejected));
        QVERIFY(answered);
    }
    {
        ConnectRequestDialog dialog(QStringLiteral("phone-1"));
        bool answered = false;
        QCOMPARE(execAnswering(&dialog, "acceptBtn", &answered), int(QDialog::Accepted));
        QVERIFY(answered);
    }
}

void DialogsTest::disconnectRequestStaysOnTopAndAnswers()
{
    DisConnectRequestDialog dialog;
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(child<QLabel>(&dialog, "label")->text(), QStringLiteral("是否要断开连接?"));

    bool answered = false;
    QCOMPARE(execAnswering(&dialog, "cancelButton", &answered), int(QDialog::Rejected));
    QVERIFY(answered);
    answered = false;
    QCOMPARE(execAnswering(&dialog, "okButton", &answered), int(QDialog::Accepted));
    QVERIFY(answered);
}

void DialogsTest::castNetErrorTextsAndCloseButton()
{
    CastNetErrorDialog dialog;
    QCOMPARE(child<QLabel>(&dialog, "titleLbl")->text(), QStringLiteral("提示"));
    QCOMPARE(child<QLabel>(&dialog, "contenLbl")->text(),
             QStringLiteral("  投屏出现问题\n请检查网络连接后再试"));

    bool answered = false;
    QCOMPARE(execAnswering(&dialog, "closeBtn", &answered), int(QDialog::Accepted));
    QVERIFY(answered);

    // The texts come back from the form on a language change.
    child<QLabel>(&dialog, "titleLbl")->setText(QStringLiteral("x"));
    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&dialog, &languageChange);
    QCOMPARE(child<QLabel>(&dialog, "titleLbl")->text(), QStringLiteral("提示"));
}

void DialogsTest::castNetErrorDragsByItsTitleOnly()
{
    CastNetErrorDialog dialog;
    dialog.move(200, 150);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* title = child<QFrame>(&dialog, "titleFrame");
    auto* content = child<QLabel>(&dialog, "contenLbl");
    QVERIFY(title != nullptr && content != nullptr);
    const std::optional<QPoint> onTitle = vantor::uitest::emptySpot(title);
    QVERIFY(onTitle.has_value());

    const QPoint start = dialog.pos();
    vantor::uitest::dragWithLeftButton(title, *onTitle, QPoint(40, 25));
    QCOMPARE(dialog.pos(), start + QPoint(40, 25));

    // The title's label is part of the title bar.
    vantor::uitest::dragWithLeftButton(child<QLabel>(&dialog, "titleLbl"), QPoint(3, 3),
                                       QPoint(-15, 10));
    QCOMPARE(dialog.pos(), start + QPoint(25, 35));

    const QPoint beforeContent = dialog.pos();
    vantor::uitest::dragWithLeftButton(content, content->rect().center(), QPoint(60, 40));
    QCOMPARE(dialog.pos(), beforeContent);

    // Moving with no button held after a drag moves nothing.
    QTest::mouseMove(dialog.windowHandle(), title->mapTo(&dialog, *onTitle) + QPoint(5, 5));
    QCOMPARE(dialog.pos(), beforeContent);
}

void DialogsTest::notFindUsbDevDragsByItsTitleAndCloses()
{
    NotFindUsbDevDialog dialog;
    QCOMPARE(child<QLabel>(&dialog, "titleLbl")->text(),
             QStringLiteral("设备无法识别，请尝试以下方法"));
    dialog.move(300, 200);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* title = child<QFrame>(&dialog, "titleFrame");
    const std::optional<QPoint> onTitle = vantor::uitest::emptySpot(title);
    QVERIFY(onTitle.has_value());
    const QPoint start = dialog.pos();
    vantor::uitest::dragWithLeftButton(title, *onTitle, QPoint(-30, 20));
    QCOMPARE(dialog.pos(), start + QPoint(-30, 20));
    // Below the title bar the dialog stays where it is.
    vantor::uitest::dragWithLeftButton(child<QFrame>(&dialog, "mainFrame"),
                                       QPoint(8, title->geometry().bottom() + 8), QPoint(50, 50));
    QCOMPARE(dialog.pos(), start + QPoint(-30, 20));

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTest::mouseClick(child<QPushButton>(&dialog, "closeBtn"), Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!dialog.isVisible());
}

VANTOR_UI_TEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
