#include "PhoneCastPc/phonecastpc.h"

#include <QEvent>
#include <QListWidgetItem>

#include "Comm/minorcastitem.h"
#include "Comm/networkinfo.h"
#include "ui_phonecastpc.h"

namespace {

enum Row {
    kWirelessHeadingRow = 0,
    kWirelessAndroidRow = 1,
    kWirelessAppleRow = 2,
    kSpacerRow = 3,
    kWiredHeadingRow = 4,
    kWiredAndroidRow = 5,
    kRowCount = 6
};

enum Page { kWirelessAndroidPage = 0, kWirelessApplePage = 1, kWiredAndroidPage = 2 };

struct SelectableRow {
    int row;
    int page;
    const char* icon;
    const char* activeIcon;
};

const SelectableRow kSelectableRows[] = {
    {kWirelessAndroidRow, kWirelessAndroidPage, ":/img/SVG/icon_android.svg",
     ":/img/SVG/icon_android1.svg"},
    {kWirelessAppleRow, kWirelessApplePage, ":/img/SVG/icon_apple.svg",
     ":/img/SVG/icon_apple1.svg"},
    {kWiredAndroidRow, kWiredAndroidPage, ":/img/SVG/icon_android.svg",
     ":/img/SVG/icon_android1.svg"},
};

const QString kActiveBackground = QStringLiteral("#E3EDF7");
const QString kActiveColour = QStringLiteral("#2A7FEC");
const QString kInactiveColour = QStringLiteral("#626774");
const QString kNone = QStringLiteral("transparent");

const QSize kIconSize(16, 16);
constexpr int kListWidth = 200;
constexpr int kHeadingHeight = 48;
constexpr int kRowHeight = 40;
constexpr int kSpacerHeight = 16;
constexpr int kHeadingIndent = 21;
constexpr int kRowIndent = 45;
constexpr int kIconToName = 8;

const SelectableRow* selectableRow(int row)
{
    for (const SelectableRow& entry : kSelectableRows) {
        if (entry.row == row) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

PhoneCastPc::PhoneCastPc(QWidget* parent) : QWidget(parent), ui(new Ui::PhoneCastPc)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    fillMinorCastList();
    ui->minorCast->setCurrentIndex(kWirelessAndroidPage);

    NetWorkInfo* network = NetWorkInfo::instance();
    slotUpdateHostName(network->getHostName());
    slotUpdateIP(network->getIPAddr());
    connect(network, &NetWorkInfo::sigHostName, this, &PhoneCastPc::slotUpdateHostName);
    connect(network, &NetWorkInfo::sigNetAvailble, this, &PhoneCastPc::slotUpdateCurNet);
    connect(network, &NetWorkInfo::sigIPAddr, this, &PhoneCastPc::slotUpdateIP);
    connect(ui->minorCastList, &QListWidget::clicked, this, &PhoneCastPc::slotMinorCastListUpdate);
}

PhoneCastPc::~PhoneCastPc() { delete ui; }

void PhoneCastPc::fillMinorCastList()
{
    m_items.fill(nullptr, kRowCount);
    for (int row = 0; row < kRowCount; ++row) {
        auto* item = new QListWidgetItem(ui->minorCastList);
        if (row == kSpacerRow) {
            item->setSizeHint(QSize(kListWidth, kSpacerHeight));
            item->setFlags(Qt::NoItemFlags);
            continue;
        }
        const bool heading = row == kWirelessHeadingRow || row == kWiredHeadingRow;
        const int height = heading ? kHeadingHeight : kRowHeight;
        item->setSizeHint(QSize(kListWidth, height));
        QString icon;
        if (heading) {
            item->setFlags(Qt::NoItemFlags);
            icon = row == kWirelessHeadingRow ? QStringLiteral(":/img/SVG/icon_wxt.svg")
                                              : QStringLiteral(":/img/SVG/icon_yxt.svg");
        } else {
            icon = QString::fromLatin1(selectableRow(row)->icon);
        }
        const int indent = heading ? kHeadingIndent : kRowIndent;
        const QSize nameSize(kListWidth - indent - kIconSize.width() - kIconToName, height);
        auto* widget = new MinorCastItem(indent, kIconSize, icon, kIconToName, nameSize, QString(),
                                         ui->minorCastList);
        ui->minorCastList->setItemWidget(item, widget);
        m_items[row] = widget;
    }
    retranslate();

    ui->minorCastList->setCurrentRow(kWirelessAndroidRow);
    slotMinorCastListUpdate(ui->minorCastList->model()->index(kWirelessAndroidRow, 0));
}

void PhoneCastPc::retranslate()
{
    const QString names[kRowCount] = {tr("WIFI无线投"), tr("安卓手机"),  tr("苹果手机"),
                                      QString(),        tr("USB有线投"), tr("安卓手机")};
    for (int row = 0; row < kRowCount; ++row) {
        if (m_items[row] != nullptr) {
            m_items[row]->setName(names[row]);
        }
    }
}

void PhoneCastPc::slotMinorCastListUpdate(QModelIndex index)
{
    const SelectableRow* clicked = selectableRow(index.row());
    if (clicked == nullptr) {
        return;
    }
    for (const SelectableRow& entry : kSelectableRows) {
        MinorCastItem* item = m_items[entry.row];
        if (entry.row == clicked->row) {
            item->updateItem(QString::fromLatin1(entry.activeIcon), kActiveColour, kActiveColour,
                             kActiveBackground);
        } else {
            item->updateItem(QString::fromLatin1(entry.icon), kInactiveColour, kNone, kNone);
        }
    }
    if (ui->minorCastList->currentRow() != clicked->row) {
        ui->minorCastList->setCurrentRow(clicked->row);
    }
    ui->minorCast->setCurrentIndex(clicked->page);
}

void PhoneCastPc::slotUpdateHostName(QString hostName) { ui->hostName->setText(hostName); }

void PhoneCastPc::slotUpdateCurNet(bool) {}

void PhoneCastPc::slotUpdateIP(QString ip)
{
    m_ip = ip;
    if (ip.isEmpty()) {
        ui->Ip->setTextFormat(Qt::RichText);
        ui->Ip->setText(QStringLiteral("<font color=red>%1</font>").arg(tr("无")));
    } else {
        // The address comes from the system: never read as markup.
        ui->Ip->setTextFormat(Qt::PlainText);
        ui->Ip->setText(ip);
    }
}

void PhoneCastPc::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        retranslate();
        slotUpdateIP(m_ip);
    }
    QWidget::changeEvent(event);
}
