#include "Comm/connectrequestdialog.h"

#include <QEvent>
#include <QTextDocument>

#include "Comm/uiimages.h"
#include "ui_connectrequestdialog.h"

ConnectRequestDialog::ConnectRequestDialog(QString deviceName, QWidget* parent)
    : FramelessDialog(parent), ui(new Ui::ConnectRequestDialog), m_deviceName(deviceName)
{
    ui->setupUi(this);
    decorate(ui->mainFrame);
    vantor::setPicture(ui->label3, QStringLiteral(":/img/icon_shouji.png"));
    showDeviceName();
}

ConnectRequestDialog::~ConnectRequestDialog() { delete ui; }

void ConnectRequestDialog::showDeviceName()
{
    ui->label1->ensurePolished();  // the style sheet's font decides the width
    const QString elided =
        ui->label1->fontMetrics().elidedText(m_deviceName, Qt::ElideRight, ui->label1->width());
    ui->label1->setText(elided);
    // Tool tips guess between markup and plain text: given as markup explicitly, so that
    // "&", ">" or quotes in the name show as typed and not as entities.
    ui->label1->setToolTip(Qt::convertFromPlainText(m_deviceName, Qt::WhiteSpaceNormal));
}

void ConnectRequestDialog::on_rejectBtn_clicked() { reject(); }

void ConnectRequestDialog::on_acceptBtn_clicked() { accept(); }

void ConnectRequestDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        showDeviceName();
    }
    FramelessDialog::changeEvent(event);
}
