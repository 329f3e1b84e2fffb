#include "PcCastTv/castcontentchoice.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QMenu>
#include <QtDebug>

#include "Comm/buttoncombox.h"
#include "Comm/custombutton.h"
#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "src/session/screensender.h"

namespace {

const char kMenuStyle[] =
    "QMenu::item{font-size: 12px;font-family:Microsoft YaHei;padding:7px 1px;margin:3px "
    "3px;background-color: #FFFFFF;color: #626774;}QMenu::item:selected{background-color: "
    "#EBF0F6;color: #626774;}";

}  // namespace

QString windowTitleText(const char* title)
{
#if defined(Q_OS_WIN)
    return QString::fromLocal8Bit(title);
#else
    return QString::fromUtf8(title);
#endif
}

CastContentChoice::CastContentChoice(QWidget* page, CustomButton* button, QComboBox* combo)
    : QObject(page), m_page(page), m_combo(combo), m_selector(new ButtonComBox(page, button))
{
    QWidget* popup = combo->view()->window();
    popup->setWindowFlags(popup->windowFlags() | Qt::NoDropShadowWindowHint);
    connect(m_selector, &ButtonComBox::sigItemClicked, this, &CastContentChoice::onHighlighted);
}

void CastContentChoice::openSelector() { m_selector->on_showPopup(); }

void CastContentChoice::closeSelector() { m_selector->hidePopup(); }

void CastContentChoice::onHighlighted(int row)
{
    qDebug() << "highlighted index:" << row;
    if (row == m_selector->programWindowRow()) {
        showWindowMenu();
        return;
    }
    m_combo->setCurrentIndex(row);
}

void CastContentChoice::onCurrentIndexChanged(int index)
{
    if (index == 0) {
        ScreenSender::instance()->setCaptureTarget(0, 0);
    } else if (index == 1 && m_selector->monitorCount() == 2) {
        ScreenSender::instance()->setCaptureTarget(1, 0);
    }
}

void CastContentChoice::showWindowMenu()
{
    QMenu menu(m_page);
    menu.setObjectName(QStringLiteral("PopUpMenu"));
    menu.setStyleSheet(QString::fromLatin1(kMenuStyle));
    for (const WindowRecord& window : enumerateWindows()) {
        QAction* action = menu.addAction(windowTitleText(window.title));
        action->setData(QVariant::fromValue<qulonglong>(window.handle));
    }
    connect(&menu, &QMenu::triggered, this, &CastContentChoice::onClickWindow);
    m_menu = &menu;
    menu.exec(QCursor::pos());  // closing it without a choice changes nothing
    m_menu = nullptr;
}

void CastContentChoice::onClickWindow(QAction* action)
{
    const auto handle = static_cast<uintptr_t>(action->data().toULongLong());
    ScreenSender::instance()->setCaptureTarget(2, handle);
    m_combo->setCurrentIndex(m_selector->programWindowRow());
    m_selector->programWindowChosen();
}
