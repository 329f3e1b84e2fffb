// Pictures of what a user sees (the main view, the settings view, every dialog and a
// toast) saved under build/screenshots at the scale QT_SCALE_FACTOR gives, and every
// text of those forms checked against the font that draws it: a machine without a
// Chinese font fails here instead of showing boxes.
#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "Comm/appsetup.h"
#include "Comm/castneterrordialog.h"
#include "Comm/cjkfont.h"
#include "Comm/connectrequestdialog.h"
#include "Comm/disconnectrequestdialog.h"
#include "Comm/notfindusbdevdialog.h"
#include "Comm/toast.h"
#include "formtexts.h"
#include "uimanage.h"

namespace {

QString scaleSuffix()
{
    const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
    return QStringLiteral("@%1x").arg(scale.isEmpty() ? QStringLiteral("1")
                                                      : QString::fromLatin1(scale));
}

}  // namespace

class ScreenshotsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mainView();
    void settingsView();
    void dialogs_data();
    void dialogs();
    void toast();
    void picturesFollowTheScreen();
    void cleanupTestCase();

private:
    void save(QWidget* widget, const QString& name);
    void verifyTextsDrawable(QWidget* form);

    QString m_outputDirectory;
    QString m_cjkFamily;
};

void ScreenshotsTest::initTestCase()
{
    m_outputDirectory = QString::fromLocal8Bit(qgetenv("VANTOR_SCREENSHOT_DIR"));
    QVERIFY2(!m_outputDirectory.isEmpty(), "VANTOR_SCREENSHOT_DIR is not set");
    QVERIFY(QDir().mkpath(m_outputDirectory));

    m_cjkFamily = vantor::applyInterfaceLook();
    QVERIFY2(!m_cjkFamily.isEmpty(), "no installed font covers Simplified Chinese");
    QCOMPARE(QFontInfo(QApplication::font()).family(), m_cjkFamily);

    UiManage* window = UiManage::instance();
    window->init();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void ScreenshotsTest::save(QWidget* widget, const QString& name)
{
    const QPixmap picture = widget->grab();
    QVERIFY(!picture.isNull());
    const QString path = m_outputDirectory + QLatin1Char('/') + name + scaleSuffix() + ".png";
    QVERIFY2(picture.save(path), qPrintable(path));
    qInfo().noquote() << "saved" << path;
}

void ScreenshotsTest::verifyTextsDrawable(QWidget* form)
{
    const QList<ShownText> texts = shownTexts(form);
    QVERIFY2(!texts.isEmpty(), qPrintable(form->objectName()));
    QStringList problems;
    for (const ShownText& shown : texts) {
        const QString missing = charactersMissingFrom(shown.font, shown.text);
        if (!missing.isEmpty()) {
            problems << QStringLiteral("%1 (\"%2\", font %3): %4")
                            .arg(shown.objectName, shown.text, QFontInfo(shown.font).family(),
                                 missing);
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void ScreenshotsTest::mainView()
{
    UiManage* window = UiManage::instance();
    save(window, "main-view");
    verifyTextsDrawable(window->findChild<QWidget*>("mainTitleBar"));
}

void ScreenshotsTest::settingsView()
{
    UiManage* window = UiManage::instance();
    QTest::mouseClick(window->findChild<QPushButton*>("settingBtn"), Qt::LeftButton);
    QCOMPARE(window->findChild<QStackedWidget*>("castAndSetSelect")->currentIndex(), 1);
    save(window, "settings-view");
    verifyTextsDrawable(window->findChild<QWidget*>("settingTitleBar"));
    verifyTextsDrawable(window->findChild<QWidget*>("settingUi"));  // hidden rows too
    QTest::mouseClick(window->findChild<QPushButton*>("backBtn"), Qt::LeftButton);
}

void ScreenshotsTest::dialogs_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("network error") << "CastNetErrorDialog";
    QTest::newRow("connection request") << "ConnectRequestDialog";
    QTest::newRow("disconnection request") << "DisConnectRequestDialog";
    QTest::newRow("usb help") << "NotFindUsbDevDialog";
}

void ScreenshotsTest::dialogs()
{
    QFETCH(QString, name);
    std::unique_ptr<QDialog> dialog;
    if (name == "CastNetErrorDialog") {
        dialog = std::make_unique<CastNetErrorDialog>();
    } else if (name == "ConnectRequestDialog") {
        dialog = std::make_unique<ConnectRequestDialog>(QStringLiteral("客厅的手机 Mate"));
    } else if (name == "DisConnectRequestDialog") {
        dialog = std::make_unique<DisConnectRequestDialog>();
    } else {
        dialog = std::make_unique<NotFindUsbDevDialog>();
    }
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    save(dialog.get(), name);
    verifyTextsDrawable(dialog.get());
}

void ScreenshotsTest::toast()
{
    UiManage* window = UiManage::instance();
    QWidget* page = window->findChild<QWidget*>("pcCastTv");
    QPointer<Toast> toast = Toast::showTip(QStringLiteral("开始投屏, 请在大屏幕确认."), page);
    QVERIFY(QTest::qWaitForWindowExposed(toast));
    QTRY_COMPARE_WITH_TIMEOUT(toast->windowOpacity(), 1.0, 3000);
    save(toast, "toast");
    verifyTextsDrawable(toast);
    QTRY_VERIFY_WITH_TIMEOUT(toast.isNull(), 6000);
}

void ScreenshotsTest::picturesFollowTheScreen()
{
    // The window keeps its logical layout at any scale and draws its icons from the
    // rendering made for the screen's pixel ratio, not from a stretched 1x picture.
    UiManage* window = UiManage::instance();
    QCOMPARE(window->size(), QSize(1000, 612));
    const qreal ratio = window->devicePixelRatioF();
    const QPixmap appIcon = *window->findChild<QLabel*>("appIcon")->pixmap();
    QCOMPARE(appIcon.devicePixelRatio(), ratio);
    const QPixmap settingIcon =
        window->findChild<QPushButton*>("settingBtn")->icon().pixmap(QSize(16, 16));
    QCOMPARE(settingIcon.devicePixelRatio(), ratio);
    QCOMPARE(settingIcon.width(), qRound(16 * ratio));
    QCOMPARE(window->grab().width(), qRound(1000 * ratio));
}

void ScreenshotsTest::cleanupTestCase() { delete UiManage::instance(); }

int main(int argc, char* argv[])
{
    // Settings written by the page go to a sandbox, never to the user's files.
    QTemporaryDir sandbox;
    qputenv("HOME", sandbox.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + "/config").toUtf8());
    vantor::prepareProcess();
    QApplication app(argc, argv);
    ScreenshotsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "screenshots_test.moc"
