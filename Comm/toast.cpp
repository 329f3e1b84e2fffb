#include "Comm/toast.h"

#include <QPainter>
#include <QPropertyAnimation>
#include <QTimer>
#include <QtDebug>

#include "ui_toast.h"

Toast::Toast(QWidget* parent) : QWidget(parent), ui(new Ui::ToastClass)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Tool);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
}

Toast::~Toast() { delete ui; }

QString Toast::text() const { return ui->label->text(); }

void Toast::setText(const QString& text)
{
    ui->label->setText(text);
    adjustSize();
}

QPoint Toast::placement(const QWidget* parent, int toastWidth)
{
    // The parent's own top-left in global coordinates: a page that sits inside the
    // window is counted once, wherever it is.
    const QPoint anchor = parent->mapToGlobal(QPoint(0, 0));
    return QPoint(anchor.x() + (parent->width() - toastWidth) / 2,
                  anchor.y() + parent->height() * 9 / 10);
}

Toast* Toast::showTip(const QString& text, QWidget* parent)
{
    qDebug() << "toast" << text;
    auto* toast = new Toast(parent);
    toast->setText(text);
    if (parent != nullptr) {
        toast->move(placement(parent, toast->width()));
    }
    toast->fadeIn();
    toast->show();
    QTimer::singleShot(kShownMs, toast, &Toast::fadeOut);
    return toast;
}

void Toast::fadeIn()
{
    auto* animation = new QPropertyAnimation(this, "windowOpacity", this);
    animation->setDuration(kFadeMs);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void Toast::fadeOut()
{
    auto* animation = new QPropertyAnimation(this, "windowOpacity", this);
    animation->setDuration(kFadeMs);
    animation->setStartValue(1.0);
    animation->setEndValue(0.0);
    connect(animation, &QPropertyAnimation::finished, this, [this] {
        close();
        deleteLater();
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void Toast::paintEvent(QPaintEvent* event)
{
    // Fully transparent: only the label's rounded rectangle shows.
    QPainter painter(this);
    painter.fillRect(rect(), QColor(37, 128, 237, 0));
    QWidget::paintEvent(event);
}
