#include "tools/vantor-receiver/answerprompt.h"

#include <unistd.h>

#include <QTimer>
#include <cstdio>

namespace vantor::receiver {

AnswerPrompt::AnswerPrompt(QObject* parent)
    : QObject(parent), notifier_(STDIN_FILENO, QSocketNotifier::Read)
{
    notifier_.setEnabled(false);
    connect(&notifier_, &QSocketNotifier::activated, this, &AnswerPrompt::readAnswer);
}

void AnswerPrompt::ask(const QString& question, Reply reply)
{
    if (stdinClosed_) {
        reply(false);  // nobody left to say yes
        return;
    }
    requests_.enqueue({question, std::move(reply)});
    if (requests_.size() == 1) showNext();
}

void AnswerPrompt::showNext()
{
    if (requests_.isEmpty()) {
        notifier_.setEnabled(false);
        return;
    }
    std::fprintf(stderr, "%s [y/n] ", qPrintable(requests_.head().question));
    std::fflush(stderr);
    notifier_.setEnabled(true);
    // An answer typed ahead may already be waiting.
    if (line_.contains('\n')) QTimer::singleShot(0, this, &AnswerPrompt::takeAnswers);
}

void AnswerPrompt::readAnswer()
{
    char buffer[256];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
        stdinClosed_ = true;
        notifier_.setEnabled(false);
        while (!requests_.isEmpty()) requests_.dequeue().reply(false);
        return;
    }
    line_.append(buffer, int(got));
    if (line_.size() > 4096) line_ = line_.right(4096);  // a runaway line is not an answer
    takeAnswers();
}

void AnswerPrompt::takeAnswers()
{
    int end;
    while ((end = line_.indexOf('\n')) >= 0 && !requests_.isEmpty()) {
        const QByteArray answer = line_.left(end).trimmed().toLower();
        line_.remove(0, end + 1);
        if (answer == "y" || answer == "yes") {
            requests_.dequeue().reply(true);
        } else if (answer == "n" || answer == "no") {
            requests_.dequeue().reply(false);
        } else {
            std::fputs("please answer y or n: ", stderr);
            std::fflush(stderr);
            continue;
        }
        showNext();
    }
}

}  // namespace vantor::receiver
