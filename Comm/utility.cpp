#include "Comm/utility.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QWidget>

std::vector<QString> Utility::vConnectedDev;
std::vector<QString> Utility::usbConnectedDev;
std::vector<QString> Utility::usbConnectedDev_ser;

namespace {
constexpr qreal kShadowBlurRadius = 8;
}

void Utility::setShadowEffect(QWidget* mainWindow, QFrame* mainFrame)
{
    if (mainWindow == nullptr || mainFrame == nullptr) {
        return;
    }
    mainWindow->setAttribute(Qt::WA_TranslucentBackground);

    // The frame takes the effect over (and drops a previous one); the window as parent
    // only makes sure it goes away with the window.
    auto* shadow = new QGraphicsDropShadowEffect(mainWindow);
    shadow->setOffset(0, 0);
    shadow->setColor(Qt::black);
    shadow->setBlurRadius(kShadowBlurRadius);
    mainFrame->setGraphicsEffect(shadow);
}

bool Utility::isFileExist(QString fullFilePath)
{
    return !fullFilePath.isEmpty() && QFileInfo::exists(fullFilePath);
}

void Utility::confirmDirExist(QString fullPath)
{
    if (fullPath.isEmpty() || QFileInfo(fullPath).isDir()) {
        return;
    }
    QDir().mkpath(fullPath);
}
