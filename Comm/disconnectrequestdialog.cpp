#include "Comm/disconnectrequestdialog.h"

#include <QEvent>

#include "ui_disconnectrequestdialog.h"

DisConnectRequestDialog::DisConnectRequestDialog(QWidget* parent)
    : FramelessDialog(parent, Qt::WindowStaysOnTopHint), ui(new Ui::DisConnectRequestDialog)
{
    ui->setupUi(this);
    decorate(ui->mainFrame);
}

DisConnectRequestDialog::~DisConnectRequestDialog() { delete ui; }

void DisConnectRequestDialog::on_cancelButton_clicked() { reject(); }

void DisConnectRequestDialog::on_okButton_clicked() { accept(); }

void DisConnectRequestDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    FramelessDialog::changeEvent(event);
}
