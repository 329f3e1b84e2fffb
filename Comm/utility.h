// Static helpers shared by the windows, dialogs and the configuration store: the drop
// shadow every frameless window wears and two small file-system checks, plus the lists
// of phone identifiers the phone-to-PC pages keep between page switches.
#pragma once

#include <QString>
#include <vector>

class QFrame;
class QWidget;

class Utility {
public:
    Utility() = default;

    // Makes mainWindow's background translucent and gives mainFrame a black shadow
    // (offset 0, blur radius 8) owned by mainWindow. Leave a margin around mainFrame
    // inside the window, or the shadow has nowhere to show.
    static void setShadowEffect(QWidget* mainWindow, QFrame* mainFrame);

    // True when anything (file or directory) exists at the path.
    static bool isFileExist(QString fullFilePath);

    // Creates the directory with every missing parent; an existing one is left alone.
    static void confirmDirExist(QString fullPath);

    // Only touched from the GUI thread, so not guarded.
    static std::vector<QString> vConnectedDev;        // wired Android: phones shown as connected
    static std::vector<QString> usbConnectedDev;      // kept for the wired pages, unused
    static std::vector<QString> usbConnectedDev_ser;  // wireless Android: phones shown as connected
};
