// The settings page against its files: every case gets a fresh home and configuration
// directory and a fresh page, drives the controls the way a user does (pop-up rows,
// clicks) and reads cfg.ini and the start-at-login entry back from disk.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QtTest>

#include "Setting/setting.h"
#include "tests/ui/uitestsupport.h"

namespace {

struct CastValues {
    int castMode;
    int bitRate;
    int frameRate;
    int resolution;
};

const char* const kComboNames[] = {"modelSelect",    "bitRateSelect", "frameRateSelect",
                                   "solutionSelect", "qualitySelect", "audioSrcSelect"};

// The text arrives in one key event, as an input method commits it; QTest's own key
// clicks know ASCII only.
void typeText(QWidget* widget, const QString& text)
{
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text, Qt::NoModifier);
}

// Makes the dialog the active window with `field` focused: the file dialog rewrites its
// name field from the view's selection whenever the field does not have the focus.
bool focusField(QDialog* dialog, QWidget* field)
{
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog)) {
        return false;
    }
    field->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([field] { return field->hasFocus(); }, 2000);
}

}  // namespace

class SettingPageTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void castModeRowsApplyTheirPresets();
    void programmaticCastModeStoresOnlyTheMode();
    void englishIsStoredUntilTheNextLoad();
    void startAtLoginAndResetToDefaults();
    void recordingSectionIsHidden();
    void popupsThrowNoShadow();
    void browsingForTheRecordingFolder_data();
    void browsingForTheRecordingFolder();
    void cancelledBrowsingChangesNothing();
    void languageChangeRestoresTheTexts();

private:
    template <typename T>
    T* control(const char* name) const
    {
        return m_page->findChild<T*>(QLatin1String(name));
    }
    QString stored(const char* key) const
    {
        return QSettings(m_sandbox->configFile(), QSettings::IniFormat).value(key).toString();
    }
    // The start-at-login entry's value of `key`; null when there is no entry or no key.
    QString autostartValue(const QString& key) const;
    // Opens the combo's pop-up and clicks the row in it.
    void pickFromPopup(QComboBox* combo, int row);
    void verifyCastValues(const CastValues& expected);

    std::unique_ptr<vantor::uitest::Sandbox> m_sandbox;
    std::unique_ptr<Setting> m_page;
};

void SettingPageTest::init()
{
    m_sandbox = std::make_unique<vantor::uitest::Sandbox>();
    QVERIFY(m_sandbox->isValid());
    QVERIFY(!QFile::exists(m_sandbox->configFile()));
    m_page = std::make_unique<Setting>();
    m_page->move(80, 60);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    // The page wrote its defaults where this case looks.
    QVERIFY(QFile::exists(m_sandbox->configFile()));
}

void SettingPageTest::cleanup()
{
    m_page.reset();
    m_sandbox.reset();
}

QString SettingPageTest::autostartValue(const QString& key) const
{
    QFile file(m_sandbox->autostartFile());
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QString prefix = key + QLatin1Char('=');
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).trimmed();
        }
    }
    return QString();
}

void SettingPageTest::pickFromPopup(QComboBox* combo, int row)
{
    QSignalSpy activated(combo, QOverload<int>::of(&QComboBox::activated));
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QRect cell = view->visualRect(combo->model()->index(row, combo->modelColumn()));
    QVERIFY(!cell.isEmpty());
    vantor::uitest::clickAt(view->viewport(), cell.center());
    QTRY_VERIFY_WITH_TIMEOUT(!view->window()->isVisible(), 2000);
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.at(0).at(0).toInt(), row);
    QCOMPARE(combo->currentIndex(), row);
}

void SettingPageTest::verifyCastValues(const CastValues& expected)
{
    QCOMPARE(stored("castCfg/castMode"), QString::number(expected.castMode));
    QCOMPARE(stored("castCfg/bitRate"), QString::number(expected.bitRate));
    QCOMPARE(stored("castCfg/frameRate"), QString::number(expected.frameRate));
    QCOMPARE(stored("castCfg/resolution"), QString::number(expected.resolution));
    QCOMPARE(control<QComboBox>("modelSelect")->currentIndex(), expected.castMode);
    QCOMPARE(control<QComboBox>("bitRateSelect")->currentIndex(), expected.bitRate);
    QCOMPARE(control<QComboBox>("frameRateSelect")->currentIndex(), expected.frameRate);
    QCOMPARE(control<QComboBox>("solutionSelect")->currentIndex(), expected.resolution);
}

void SettingPageTest::castModeRowsApplyTheirPresets()
{
    auto* mode = control<QComboBox>("modelSelect");
    QCOMPARE(mode->itemText(1), QStringLiteral("画质优先"));
    QCOMPARE(mode->itemText(2), QStringLiteral("码流优先"));
    verifyCastValues({0, 0, 1, 1});

    // 画质优先: 8M, 25帧, 1080P.
    pickFromPopup(mode, 1);
    QVERIFY(!QTest::currentTestFailed());
    verifyCastValues({1, 2, 1, 2});
    QCOMPARE(control<QComboBox>("bitRateSelect")->currentText(), QStringLiteral("8M"));
    QCOMPARE(control<QComboBox>("frameRateSelect")->currentText(), QStringLiteral("25帧"));
    QCOMPARE(control<QComboBox>("solutionSelect")->currentText(), QStringLiteral("1080P"));

    // A value changed by hand stays until the next preset.
    pickFromPopup(control<QComboBox>("bitRateSelect"), 3);
    QVERIFY(!QTest::currentTestFailed());
    verifyCastValues({1, 3, 1, 2});

    // 码流优先: 自动, 20帧, 高清.
    pickFromPopup(mode, 2);
    QVERIFY(!QTest::currentTestFailed());
    verifyCastValues({2, 0, 0, 1});

    // 自动: 自动, 25帧, 高清.
    pickFromPopup(control<QComboBox>("solutionSelect"), 3);
    QVERIFY(!QTest::currentTestFailed());
    pickFromPopup(mode, 0);
    QVERIFY(!QTest::currentTestFailed());
    verifyCastValues({0, 0, 1, 1});

    // Picking the row that is already chosen applies its preset again.
    pickFromPopup(control<QComboBox>("frameRateSelect"), 2);
    QVERIFY(!QTest::currentTestFailed());
    verifyCastValues({0, 0, 2, 1});
    pickFromPopup(mode, 0);
    QVERIFY(!QTest::currentTestFailed());
    verifyCastValues({0, 0, 1, 1});
}

void SettingPageTest::programmaticCastModeStoresOnlyTheMode()
{
    auto* mode = control<QComboBox>("modelSelect");
    QSignalSpy activated(mode, QOverload<int>::of(&QComboBox::activated));
    mode->setCurrentIndex(1);
    QCOMPARE(activated.count(), 0);
    QCOMPARE(stored("castCfg/castMode"), QStringLiteral("1"));
    verifyCastValues({1, 0, 1, 1});
}

void SettingPageTest::englishIsStoredUntilTheNextLoad()
{
    auto* language = control<QListWidget>("lanSet");
    QCOMPARE(language->item(1)->text(), QStringLiteral("Eng"));
    QCOMPARE(language->currentRow(), 0);
    QCOMPARE(stored("appCfg/language"), QStringLiteral("0"));

    vantor::uitest::clickAt(language->viewport(),
                            language->visualItemRect(language->item(1)).center());
    QCOMPARE(language->currentRow(), 1);
    QCOMPARE(stored("appCfg/language"), QStringLiteral("1"));

    // Picking a cast mode reloads the file: the page goes back to Chinese, on disk too.
    pickFromPopup(control<QComboBox>("modelSelect"), 2);
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(language->currentRow(), 0);
    QCOMPARE(stored("appCfg/language"), QStringLiteral("0"));

    // So does a reset.
    vantor::uitest::clickAt(language->viewport(),
                            language->visualItemRect(language->item(1)).center());
    QCOMPARE(stored("appCfg/language"), QStringLiteral("1"));
    auto* reset = control<QPushButton>("resetCfg");
    vantor::uitest::clickAt(reset, reset->rect().center());
    QCOMPARE(language->currentRow(), 0);
    QCOMPARE(stored("appCfg/language"), QStringLiteral("0"));
}

void SettingPageTest::startAtLoginAndResetToDefaults()
{
    auto* startAtLogin = control<QCheckBox>("startSet");
    QVERIFY(!startAtLogin->isChecked());
    QCOMPARE(autostartValue(QStringLiteral("Hidden")), QStringLiteral("true"));

    QStyleOptionButton option;
    option.initFrom(startAtLogin);
    const QRect clickArea =
        startAtLogin->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, startAtLogin);
    vantor::uitest::clickAt(
        startAtLogin, clickArea.isValid() ? clickArea.center() : startAtLogin->rect().center());
    QVERIFY(startAtLogin->isChecked());
    QCOMPARE(autostartValue(QStringLiteral("Hidden")), QStringLiteral("false"));
    const QString exec = autostartValue(QStringLiteral("Exec"));
    QVERIFY(!exec.isEmpty());

    // Something to reset besides start at login.
    pickFromPopup(control<QComboBox>("modelSelect"), 1);
    QVERIFY(!QTest::currentTestFailed());
    verifyCastValues({1, 2, 1, 2});

    auto* reset = control<QPushButton>("resetCfg");
    QCOMPARE(reset->text(), QStringLiteral("恢复默认设置"));
    vantor::uitest::clickAt(reset, reset->rect().center());
    QVERIFY(!startAtLogin->isChecked());
    // Off keeps the entry and what it runs; it is only hidden.
    QVERIFY(QFile::exists(m_sandbox->autostartFile()));
    QCOMPARE(autostartValue(QStringLiteral("Hidden")), QStringLiteral("true"));
    QCOMPARE(autostartValue(QStringLiteral("Exec")), exec);
    verifyCastValues({0, 0, 1, 1});
    QCOMPARE(stored("appCfg/language"), QStringLiteral("0"));
    QCOMPARE(stored("recordCfg/autoRecord"), QStringLiteral("0"));
    QCOMPARE(stored("recordCfg/fileSavePath"),
             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QVERIFY(stored("recordCfg/fileSavePath").startsWith(m_sandbox->home()));
}

void SettingPageTest::recordingSectionIsHidden()
{
    for (const char* name : {"recordScreeSettingName", "autoRecordScreen", "label_3",
                             "fileSaveLocationName", "fileSaveLocation", "fileBrowse",
                             "qualityLabel", "qualitySelect", "audioSrcName", "audioSrcSelect"}) {
        auto* widget = control<QWidget>(name);
        QVERIFY2(widget != nullptr, name);
        QVERIFY2(!widget->isVisible(), name);
        QVERIFY2(!widget->isVisibleTo(m_page.get()), name);
    }
    // Still hidden after a load.
    auto* reset = control<QPushButton>("resetCfg");
    vantor::uitest::clickAt(reset, reset->rect().center());
    QVERIFY(!control<QWidget>("fileBrowse")->isVisible());
    QVERIFY(!control<QWidget>("autoRecordScreen")->isVisible());
    // The cast section is there.
    QVERIFY(control<QWidget>("modelSelect")->isVisible());
    QVERIFY(control<QWidget>("startSet")->isVisible());
}

void SettingPageTest::popupsThrowNoShadow()
{
    for (const char* name : kComboNames) {
        auto* combo = control<QComboBox>(name);
        QVERIFY2(combo != nullptr, name);
        QVERIFY2(combo->view()->window()->windowFlags().testFlag(Qt::NoDropShadowWindowHint), name);
    }
    // Opened and closed, the pop-up keeps the flag.
    auto* mode = control<QComboBox>("modelSelect");
    mode->showPopup();
    QVERIFY(QTest::qWaitForWindowExposed(mode->view()->window()));
    QVERIFY(mode->view()->window()->windowFlags().testFlag(Qt::NoDropShadowWindowHint));
    QVERIFY(mode->view()->window()->windowFlags().testFlag(Qt::Popup));
    mode->hidePopup();
    QVERIFY(mode->view()->window()->windowFlags().testFlag(Qt::NoDropShadowWindowHint));
}

void SettingPageTest::browsingForTheRecordingFolder_data()
{
    QTest::addColumn<bool>("storedFolderExists");
    QTest::addColumn<bool>("typed");
    QTest::newRow("stored folder missing, path typed") << false << true;
    QTest::newRow("stored folder missing, folder picked") << false << false;
    QTest::newRow("stored folder exists, path typed") << true << true;
    QTest::newRow("stored folder exists, folder picked") << true << false;
}

void SettingPageTest::browsingForTheRecordingFolder()
{
    QFETCH(bool, storedFolderExists);
    QFETCH(bool, typed);
    const QString storedPath = stored("recordCfg/fileSavePath");
    QCOMPARE(storedPath, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QVERIFY(!QFileInfo::exists(storedPath));
    if (storedFolderExists) {
        QVERIFY(QDir().mkpath(storedPath));
    }
    // Picked from the list of the folder the dialog opens at; typed as a whole path.
    const QString opensAt = storedFolderExists ? storedPath : m_sandbox->home();
    const QString chosen = QDir(opensAt).filePath(QStringLiteral("录屏"));
    QVERIFY(QDir().mkpath(chosen));
    auto* location = control<QLineEdit>("fileSaveLocation");
    QCOMPARE(location->text(), storedPath);

    QString openedAt;
    bool chose = false;
    vantor::uitest::ModalWatcher watcher([&](QDialog* dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(fileDialog != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(fileDialog));
        openedAt = fileDialog->directory().absolutePath();
        auto* name = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = fileDialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(name != nullptr && buttons != nullptr);
        QPushButton* choose = buttons->button(QDialogButtonBox::Open);
        QVERIFY(choose != nullptr);
        if (typed) {
            QVERIFY(focusField(fileDialog, name));
            name->selectAll();
            typeText(name, chosen);
            QCOMPARE(name->text(), chosen);
        } else {
            // The list or the detail view, whichever the dialog shows.
            QAbstractItemView* view = nullptr;
            for (const char* viewName : {"listView", "treeView"}) {
                auto* candidate = fileDialog->findChild<QAbstractItemView*>(viewName);
                if (candidate != nullptr && candidate->isVisible()) {
                    view = candidate;
                }
            }
            auto* files = fileDialog->findChild<QFileSystemModel*>();
            QVERIFY(view != nullptr && files != nullptr);
            QCOMPARE(view->model(), files);
            // The folder's entries are read in the background.
            QTRY_VERIFY_WITH_TIMEOUT(!view->visualRect(files->index(chosen)).isEmpty(), 5000);
            vantor::uitest::clickAt(view->viewport(),
                                    view->visualRect(files->index(chosen)).center());
            QTRY_COMPARE_WITH_TIMEOUT(name->text(), QStringLiteral("录屏"), 2000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(choose->isEnabled(), 2000);
        QTest::mouseClick(choose, Qt::LeftButton);
        chose = true;
    });
    control<QPushButton>("fileBrowse")->click();
    QVERIFY(watcher.answered());
    QVERIFY(chose);
    QVERIFY(!watcher.leftOpen());
    // Opens where the recordings go, or as close to it as exists.
    QCOMPARE(openedAt, opensAt);
    QCOMPARE(stored("recordCfg/fileSavePath"), chosen);
    QCOMPARE(location->text(), chosen);
}

void SettingPageTest::cancelledBrowsingChangesNothing()
{
    auto* location = control<QLineEdit>("fileSaveLocation");
    const QString before = stored("recordCfg/fileSavePath");
    QVERIFY(!before.isEmpty());
    QCOMPARE(location->text(), before);

    vantor::uitest::ModalWatcher watcher([&](QDialog* dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(fileDialog != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(fileDialog));
        auto* buttons = fileDialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(buttons != nullptr && buttons->button(QDialogButtonBox::Cancel) != nullptr);
        // A folder typed, then cancelled.
        auto* name = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name != nullptr);
        QVERIFY(focusField(fileDialog, name));
        name->selectAll();
        typeText(name, m_sandbox->home());
        QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    control<QPushButton>("fileBrowse")->click();
    QVERIFY(watcher.answered());
    QVERIFY(!watcher.leftOpen());
    QCOMPARE(stored("recordCfg/fileSavePath"), before);
    QCOMPARE(location->text(), before);
}

void SettingPageTest::languageChangeRestoresTheTexts()
{
    auto* title = control<QLabel>("settingName");
    auto* version = control<QLabel>("versionLbl");
    QCOMPARE(title->text(), QStringLiteral("设置中心"));
    const QString versionText = version->text();
    QVERIFY(versionText.startsWith(QStringLiteral("版本 ")));
    QVERIFY(versionText.size() > 3);
    title->setText(QStringLiteral("Settings"));
    version->setText(QString());
    control<QPushButton>("resetCfg")->setText(QStringLiteral("Reset"));

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("language change")));
    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(m_page.get(), &languageChange);
    QCOMPARE(title->text(), QStringLiteral("设置中心"));
    QCOMPARE(version->text(), versionText);
    QCOMPARE(control<QPushButton>("resetCfg")->text(), QStringLiteral("恢复默认设置"));
    // The stored values are untouched by a re-translation.
    verifyCastValues({0, 0, 1, 1});
}

VANTOR_UI_TEST_MAIN(SettingPageTest)
#include "settingpage_test.moc"
