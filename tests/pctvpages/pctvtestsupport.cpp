#include "tests/pctvpages/pctvtestsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QWindow>

#include "Comm/appsetup.h"
#include "Comm/custombutton.h"
#include "Comm/toast.h"
#include "PcCastTv/pccastfinddev.h"
#include "PcCastTv/pccastnodev.h"
#include "PcCastTv/pccasttv.h"
#include "PcCastTv/sinkitem.h"
#include "src/discovery/codereceiver.h"
#include "uimanage.h"

namespace vantor::pctvtest {

void prepareProcess()
{
    vantor::prepareProcess();
    // The settings page writes cfg.ini under the configuration home: never the real one.
    static QTemporaryDir home;
    if (!home.isValid()) {
        qFatal("no temporary directory for the test's home");
    }
    QDir(home.path()).mkpath(QStringLiteral("home"));
    QDir(home.path()).mkpath(QStringLiteral("config"));
    qputenv("HOME", QDir(home.path()).filePath(QStringLiteral("home")).toUtf8());
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toUtf8());
}

QString prepareApplication() { return vantor::applyInterfaceLook(); }

QString screenshotPath(const QString& name)
{
    const QString folder = QStringLiteral(VANTOR_PCTV_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

bool saveScreenshot(const QPixmap& picture, const QString& name)
{
    if (picture.isNull()) {
        return false;
    }
    const QString path = screenshotPath(name);
    if (!picture.save(path)) {
        return false;
    }
    qInfo().noquote() << "saved" << path;
    return true;
}

bool MainWindow::open()
{
    m_window = UiManage::instance();
    m_window->init();
    m_window->move(40, 40);
    m_window->show();
    // As the program does right after showing its window.
    CodeReceiver::instance();
    return QTest::qWaitForWindowExposed(m_window);
}

void MainWindow::close()
{
    delete m_window;
    m_window = nullptr;
}

PcCastTv* MainWindow::pcCastTv() const
{
    return m_window->findChild<PcCastTv*>(QStringLiteral("pcCastTv"));
}

QStackedWidget* MainWindow::castState() const
{
    return pcCastTv()->findChild<QStackedWidget*>(QStringLiteral("castState"));
}

PcCastNoDev* MainWindow::noDev() const
{
    return pcCastTv()->findChild<PcCastNoDev*>(QStringLiteral("noDev"));
}

PcCastFindDev* MainWindow::findDev() const
{
    return pcCastTv()->findChild<PcCastFindDev*>(QStringLiteral("findDev"));
}

QLineEdit* MainWindow::castCode(QWidget* page)
{
    return page->findChild<QLineEdit*>(QStringLiteral("castCode"));
}

QPushButton* MainWindow::castBtn(QWidget* page)
{
    return page->findChild<QPushButton*>(QStringLiteral("castBtn"));
}

CustomButton* MainWindow::contentButton(QWidget* page)
{
    return page->findChild<CustomButton*>(QStringLiteral("pushButton"));
}

QComboBox* MainWindow::contentCombo(QWidget* page)
{
    return page->findChild<QComboBox*>(QStringLiteral("castContenSelect"));
}

CastContentChoice* MainWindow::contentChoice(QWidget* page)
{
    if (auto* findDev = qobject_cast<PcCastFindDev*>(page)) {
        return findDev->contentChoice();
    }
    if (auto* noDev = qobject_cast<PcCastNoDev*>(page)) {
        return noDev->contentChoice();
    }
    return nullptr;
}

QList<SinkItem*> MainWindow::rows() const
{
    // From the list widget itself, in the order it draws its items.
    auto* list = findDev()->findChild<QListWidget*>(QStringLiteral("castDevList"));
    QList<SinkItem*> rows;
    for (int i = 0; i < list->count(); ++i) {
        rows << qobject_cast<SinkItem*>(list->itemWidget(list->item(i)));
    }
    return rows;
}

QStringList MainWindow::rowHosts() const
{
    QStringList hosts;
    for (const SinkItem* row : rows()) {
        hosts << (row != nullptr ? row->host() : QStringLiteral("<no row widget>"));
    }
    return hosts;
}

QString rowLabelText(const SinkItem* row)
{
    // The name label is the one that is neither the icon nor inside the button.
    for (const QLabel* label : row->findChildren<QLabel*>()) {
        if (label->pixmap(Qt::ReturnByValue).isNull() && !label->text().isEmpty()) {
            return label->text();
        }
    }
    return QString();
}

AnnouncingReceiver::AnnouncingReceiver(const QString& address, const QString& code,
                                       const QString& name, const QString& answer)
    : m_address(address),
      m_code(code),
      m_name(name),
      m_arguments{QStringLiteral("--bind"),        address,
                  QStringLiteral("--announce-to"), QStringLiteral("127.0.0.1:43572"),
                  QStringLiteral("--code"),        code,
                  QStringLiteral("--name"),        name,
                  QStringLiteral("--answer"),      answer}
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    launch();
}

void AnnouncingReceiver::launch()
{
    m_output.clear();
    m_process.start(QStringLiteral(VANTOR_RECEIVER_PROGRAM), m_arguments);
    m_process.waitForStarted(5000);
}

AnnouncingReceiver::~AnnouncingReceiver()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

QString AnnouncingReceiver::output()
{
    m_output += QString::fromUtf8(m_process.readAllStandardOutput());
    return m_output;
}

QStringList AnnouncingReceiver::castSummaries()
{
    QStringList summaries;
    for (const QString& line : output().split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("cast-summary "))) {
            summaries << line;
        }
    }
    return summaries;
}

long long AnnouncingReceiver::summaryField(const QString& summary, const QString& key)
{
    const QRegularExpression pattern(QStringLiteral("(?:^| )") + QRegularExpression::escape(key) +
                                     QStringLiteral("=(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(summary);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

QString AnnouncingReceiver::errorOutput()
{
    return QString::fromUtf8(m_process.readAllStandardError());
}

bool AnnouncingReceiver::waitUntilReady(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (output().contains(QStringLiteral("ready bind="))) {
            return true;
        }
        if (m_process.state() == QProcess::NotRunning) {
            const QString error = errorOutput();
            // Another run on this machine may hold the address for a moment (the
            // ports are fixed): start again until the time is up.
            if (m_process.exitCode() == kCannotBindExitCode &&
                error.contains(QStringLiteral("already in use"))) {
                qInfo().noquote() << "receiver on" << m_address << "could not bind, again";
                QTest::qWait(100);
                launch();
                continue;
            }
            qWarning().noquote() << "receiver on" << m_address << "ended:" << error;
            return false;
        }
        m_process.waitForReadyRead(20);
        QCoreApplication::processEvents();
    }
    return false;
}

bool AnnouncingReceiver::terminate(int timeoutMs)
{
    m_process.terminate();
    return m_process.waitForFinished(timeoutMs);
}

bool AnnouncingReceiver::kill(int timeoutMs)
{
    m_process.kill();
    return m_process.waitForFinished(timeoutMs);
}

ToastRecorder::ToastRecorder()
{
    // Toasts of earlier steps still on screen are not new.
    poll();
    m_texts.clear();
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &ToastRecorder::poll);
    m_timer.start();
}

void ToastRecorder::poll()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* toast = qobject_cast<Toast*>(widget);
        if (toast == nullptr) {
            continue;
        }
        // A guard of a deleted toast is null, so a new toast at a reused address is new.
        bool seen = false;
        for (const QPointer<Toast>& known : qAsConst(m_seen)) {
            if (known == toast) {
                seen = true;
                break;
            }
        }
        if (!seen) {
            m_seen << toast;
            m_texts << toast->text();
        }
    }
}

QStringList ToastRecorder::texts()
{
    poll();
    return m_texts;
}

int ToastRecorder::count(const QString& text) { return texts().count(text); }

QString ToastRecorder::joined() { return toastSequence(texts()); }

QString toastSequence(const QStringList& texts) { return texts.join(QStringLiteral(" | ")); }

void ToastRecorder::clear()
{
    poll();
    m_texts.clear();
}

void clickThroughWindow(QWidget* widget, QPoint local)
{
    QWidget* top = widget->window();
    const QPoint at = widget->mapTo(top, local);
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

WhenShown::WhenShown(std::function<QWidget*()> find, std::function<void(QWidget*)> onOpen,
                     int timeoutMs)
    : m_find(std::move(find)), m_onOpen(std::move(onOpen)), m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (QWidget* widget = m_find(); widget != nullptr && widget->isVisible()) {
            m_timer.stop();
            m_happened = true;
            m_onOpen(widget);
        } else if (m_clock.elapsed() > m_timeoutMs) {
            m_timer.stop();
        }
    });
    m_clock.start();
    m_timer.start();
}

}  // namespace vantor::pctvtest
