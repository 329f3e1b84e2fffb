#include "tests/ui/uitestsupport.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "Comm/appsetup.h"

namespace vantor::uitest {

namespace {

void pointHomeAt(const QTemporaryDir& dir)
{
    qputenv("XDG_CONFIG_HOME", QDir(dir.path()).filePath(QStringLiteral("config")).toUtf8());
    qputenv("HOME", QDir(dir.path()).filePath(QStringLiteral("home")).toUtf8());
    QDir(dir.path()).mkpath(QStringLiteral("home"));
}

QWindow* windowOf(QWidget* widget, QPoint local, QPoint* inWindow)
{
    QWidget* top = widget->window();
    *inWindow = widget->mapTo(top, local);
    return top->windowHandle();
}

}  // namespace

void prepareProcess()
{
    vantor::prepareProcess();
    // Nothing of the process (fonts' caches, Qt's settings, the product's own files)
    // lands in the real home.
    static QTemporaryDir processHome;
    if (!processHome.isValid()) {
        qFatal("no temporary directory for the test's home");
    }
    pointHomeAt(processHome);
}

void prepareApplication() { vantor::applyInterfaceLook(); }

Sandbox::Sandbox()
{
    if (m_dir.isValid()) {
        pointHomeAt(m_dir);
    }
}

QString Sandbox::configHome() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("config"));
}

QString Sandbox::home() const { return QDir(m_dir.path()).filePath(QStringLiteral("home")); }

void dragWithLeftButton(QWidget* widget, QPoint local, QPoint delta)
{
    QPoint start;
    QWindow* window = windowOf(widget, local, &start);
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(window, start + delta);
    // The window has followed the move: the release is where the pointer now is on it.
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start);
}

void clickAt(QWidget* widget, QPoint local)
{
    QPoint at;
    QWindow* window = windowOf(widget, local, &at);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
}

std::optional<QPoint> emptySpot(const QWidget* widget)
{
    for (int y = 2; y < widget->height() - 2; y += 4) {
        for (int x = 2; x < widget->width() - 2; x += 4) {
            if (widget->childAt(x, y) == nullptr) {
                return QPoint(x, y);
            }
        }
    }
    return std::nullopt;
}

ModalWatcher::ModalWatcher(std::function<void(QDialog*)> answer, QWidget* except, int timeoutMs,
                           bool rejectOnTimeout)
    : m_answer(std::move(answer)),
      m_except(except),
      m_timeoutMs(timeoutMs),
      m_rejectOnTimeout(rejectOnTimeout)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_clock.start();
    m_timer.start();
}

void ModalWatcher::poll()
{
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog != nullptr && dialog != m_except) {
        m_timer.stop();
        m_answered = true;
        QPointer<QDialog> guard(dialog);
        m_answer(dialog);
        if (guard != nullptr && guard->isVisible()) {
            m_leftOpen = true;
            guard->reject();
        }
        return;
    }
    if (m_clock.elapsed() > m_timeoutMs) {
        m_timer.stop();
        if (m_rejectOnTimeout && dialog != nullptr) {
            dialog->reject();
        }
    }
}

}  // namespace vantor::uitest
