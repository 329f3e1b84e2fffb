// Asks the person at the terminal whether to accept a cast: a question on stderr,
// a y/n line on stdin. Requests wait in line, one question at a time.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QQueue>
#include <QSocketNotifier>
#include <functional>

namespace vantor::receiver {

class AnswerPrompt : public QObject {
    Q_OBJECT
public:
    using Reply = std::function<void(bool accepted)>;
    explicit AnswerPrompt(QObject* parent = nullptr);

    void ask(const QString& question, Reply reply);

private slots:
    void readAnswer();
    void takeAnswers();

private:
    void showNext();

    struct Request {
        QString question;
        Reply reply;
    };
    QQueue<Request> requests_;
    QSocketNotifier notifier_;
    QByteArray line_;
    bool stdinClosed_ = false;
};

}  // namespace vantor::receiver
