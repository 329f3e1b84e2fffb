// What the PC-to-TV pages do when the user asks for a cast: start it, or stop it when
// that receiver is already being cast to, and show every outcome of the session as a
// toast over the page the user is on, once per event however many casts were started
// (a capture that cannot be set up too: "投屏失败, 无法采集屏幕.").
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

class CastLauncher : public QObject {
    Q_OBJECT
public:
    explicit CastLauncher(QObject* parent = nullptr);

    // Starts or stops the cast to `host`; outcomes are shown over `page`.
    void castOpertion(const QString& host, QWidget* page);
    // The receiver announcing `code` (six digits); "投屏码错误, 请检查!" over `page` when
    // no receiver does.
    void castToCode(const QString& code, QWidget* page);

    // The address of the receiver whose cast code is `code`; empty when none.
    static QString hostForCode(const QString& code);
    // "退出投屏" while the receiver of `code` is being cast to, else "开始投屏"; empty
    // for an empty code (the button keeps its text).
    static QString castButtonText(const QString& code);

private:
    void subscribeToSession();
    void showOutcome(const QString& text);

    bool m_subscribed = false;
    QPointer<QWidget> m_toastPage;
};
