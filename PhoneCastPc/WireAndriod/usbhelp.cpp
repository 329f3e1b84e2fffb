#include "PhoneCastPc/WireAndriod/usbhelp.h"

#include <QPointer>

#include "Comm/notfindusbdevdialog.h"
#include "uimanage.h"

namespace vantor {

void showUsbHelp(QWidget* parent)
{
    static bool open = false;
    if (open) {
        return;
    }
    open = true;
    UiManage* window = UiManage::instance();
    // On the heap: the parent may go (the window closing) while exec() runs.
    QPointer<NotFindUsbDevDialog> dialog = new NotFindUsbDevDialog(parent);
    dialog->move(window->geometry().center() - dialog->rect().center());
    window->showShade();
    dialog->exec();
    window->hideShade();
    delete dialog.data();
    open = false;
}

}  // namespace vantor
