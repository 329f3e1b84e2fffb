#include "Comm/buttoncombox.h"

#include <QListWidget>
#include <QtDebug>
#include <algorithm>

#include "Comm/custombutton.h"
#include "Comm/customlistitem.h"
#include "libcapture/screencapturelib/monitor.h"

namespace {

int cappedMonitorCount(int count) { return std::clamp(count, 0, 2); }

CustomListItem* rowWidget(QListWidget* list, int row)
{
    return qobject_cast<CustomListItem*>(list->itemWidget(list->item(row)));
}

}  // namespace

ButtonComBox::ButtonComBox(QWidget* page, CustomButton* button)
    : ButtonComBox(page, button, static_cast<int>(ScreenCaptureLib::getMonitors().size()))
{
}

ButtonComBox::ButtonComBox(QWidget* page, CustomButton* button, int monitorCount)
    : QWidget(page),
      m_button(button),
      m_list(new QListWidget(page)),
      m_monitorCount(cappedMonitorCount(monitorCount))
{
    hide();  // the list is what shows; this object only steers it
    m_list->setFixedWidth(button->width());
    m_list->setFixedHeight(button->height() * (m_monitorCount + 1) + 2);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setStyleSheet(
        QStringLiteral("QListWidget{border:1px solid #EBF0F6;}"
                       "QListWidget::Item:hover{border:1px solid #EBF0F6;background:#EBF0F6; }"));

    addRow(QStringLiteral("主屏幕"), QString());
    if (m_monitorCount == 2) {
        addRow(QStringLiteral("扩展屏幕"), QString());
    }
    addRow(QStringLiteral("程序窗口"), QStringLiteral(":/img/icon_gengduo2.png"));
    m_button->setText(QStringLiteral("主屏幕"));

    m_list->hide();
    connect(m_list, &QListWidget::clicked, this, &ButtonComBox::on_clicked);
}

void ButtonComBox::addRow(const QString& text, const QString& icon)
{
    auto* item = new QListWidgetItem(m_list);
    // As wide as the list inside its 1 px border, as high as the button.
    item->setSizeHint(QSize(m_list->width() - 2, m_button->height()));
    m_list->setItemWidget(item, new CustomListItem(text, icon, m_list));
}

int ButtonComBox::programWindowRow() const { return m_monitorCount < 2 ? 1 : 2; }

void ButtonComBox::programWindowChosen()
{
    m_button->setText(rowWidget(m_list, programWindowRow())->text());
    m_list->hide();
}

void ButtonComBox::hidePopup() { m_list->hide(); }

void ButtonComBox::on_showPopup()
{
    qDebug() << "ButtonComBox::on_showPopup()";
    // The list lives on the page; the button may sit deeper inside it.
    QWidget* page = m_list->parentWidget();
    const QPoint below(0, m_button->height());
    m_list->move(page->isAncestorOf(m_button) ? m_button->mapTo(page, below)
                                              : m_button->pos() + below);
    m_list->raise();
    m_list->show();
}

void ButtonComBox::on_clicked(QModelIndex index)
{
    const int row = index.row();
    CustomListItem* widget = rowWidget(m_list, row);
    const QString text = widget != nullptr ? widget->text() : QString();
    qDebug() << "index:" << row << text << m_list->count();
    const bool screenRow = row == 0 || (row == 1 && m_monitorCount == 2);
    if (screenRow) {
        m_button->setText(text);
        m_list->hide();
        emit sigItemClicked(row);
    } else if (row == programWindowRow()) {
        emit sigItemClicked(row);
    }
    m_list->setCurrentRow(-1);
}
