// How the desktop application tells the user that a receiver cannot be reached: the
// session's network-error hook opens "投屏出现问题" modally over the window.
#pragma once

class QWidget;

// `anchor`'s window is the dialog's parent while it exists.
void installNetworkErrorPrompt(QWidget* anchor);
