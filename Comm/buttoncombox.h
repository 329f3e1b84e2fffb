// The cast-content choice: a list that opens under a CustomButton, with "主屏幕",
// "扩展屏幕" (only with two monitors) and "程序窗口". Picking a screen closes it;
// picking "程序窗口" keeps it open until the page has asked which window.
#pragma once

#include <QModelIndex>
#include <QWidget>

class CustomButton;
class QListWidget;

class ButtonComBox : public QWidget {
    Q_OBJECT
public:
    // The monitor count comes from the capture library's monitor list, capped at 2.
    ButtonComBox(QWidget* page, CustomButton* button);
    // For tests and for callers that know the monitors already.
    ButtonComBox(QWidget* page, CustomButton* button, int monitorCount);

    int monitorCount() const { return m_monitorCount; }
    // 1 with fewer than two monitors, else 2.
    int programWindowRow() const;
    QListWidget* list() const { return m_list; }

    // A program window was picked: the button reads "程序窗口" and the list closes.
    void programWindowChosen();
    void hidePopup();

signals:
    void sigItemClicked(int index);

public slots:
    void on_clicked(QModelIndex index);
    void on_showPopup();

private:
    void addRow(const QString& text, const QString& icon);

    CustomButton* m_button;
    QListWidget* m_list;
    int m_monitorCount;
};
