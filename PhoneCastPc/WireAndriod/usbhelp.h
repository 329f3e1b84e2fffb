// The help for a USB-connected phone that is not recognised (NotFindUsbDevDialog),
// shown the way the wired pages share: modal, centred on the main window, with the
// main window's shade shown while it is open.
#pragma once

class QWidget;

namespace vantor {

// Returns once the dialog is closed. A second call while the dialog is open does
// nothing.
void showUsbHelp(QWidget* parent);

}  // namespace vantor
