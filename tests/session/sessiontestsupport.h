// What the session tests share: waiting in the event loop for a condition, and
// the session's signals counted.
#pragma once

#include <QStringList>
#include <functional>

class ScreenSender;

// The tests' main: every case of the program inside a QCoreApplication, with the
// cfg.ini of the user running them kept out of the picture.
int runSessionTests(int argc, char** argv);

// Runs the event loop until done() holds or timeoutMs pass; done() is checked
// every few milliseconds, and the loop sleeps in between.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

// Ends the session as the front ends do: its command channels go by deleteLater,
// which no event loop runs after the last case, so they are deleted here before the
// application object drops the pending deletes (they would leak).
void releaseSession(ScreenSender* session);

// Signal counts of the session, the receivers that ended, and every answer.
struct SessionObserver {
    int beginSend = 0, sinkConnect = 0, sinkBusy = 0, sinkRefuse = 0, sendStop = 0;
    QStringList ended;
    QStringList answers;   // "host answer"
    QStringList failures;  // captureFailed reasons
    explicit SessionObserver(ScreenSender* session);
    bool answered(const QString& host, const QString& answer) const
    {
        return answers.contains(host + ' ' + answer);
    }
};
