#include "Comm/castneterrordialog.h"

#include <QEvent>

#include "ui_castneterrordialog.h"

CastNetErrorDialog::CastNetErrorDialog(QWidget* parent)
    : FramelessDialog(parent), ui(new Ui::CastNetErrorDialog)
{
    ui->setupUi(this);
    decorate(ui->mainFrame, ui->titleFrame);
}

CastNetErrorDialog::~CastNetErrorDialog() { delete ui; }

void CastNetErrorDialog::on_closeBtn_clicked() { accept(); }

void CastNetErrorDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    FramelessDialog::changeEvent(event);
}
