#include "Comm/notfindusbdevdialog.h"

#include <QEvent>

#include "Comm/uiimages.h"
#include "ui_notfindusbdevdialog.h"

NotFindUsbDevDialog::NotFindUsbDevDialog(QWidget* parent)
    : FramelessDialog(parent), ui(new Ui::NotFindUsbDevDialog)
{
    ui->setupUi(this);
    decorate(ui->mainFrame, ui->titleFrame);
    vantor::setPicture(ui->changeUsbLbl, QStringLiteral(":/img/img_ghsjx.png"));
    vantor::setPicture(ui->selectMtpMode, QStringLiteral(":/img/img_MTPms.png"));
}

NotFindUsbDevDialog::~NotFindUsbDevDialog() { delete ui; }

void NotFindUsbDevDialog::on_closeBtn_clicked() { accept(); }

void NotFindUsbDevDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    FramelessDialog::changeEvent(event);
}
