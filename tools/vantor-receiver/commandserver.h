// The command port: reads each sender's "connect" line and answers "accept",
// "refuse" or "busy". The connection stays open until the sender closes it.
#pragma once

#include <QObject>
#include <QTcpServer>

#include "src/command/linesplitter.h"
#include "tools/vantor-receiver/answerprompt.h"
#include "tools/vantor-receiver/caststate.h"
#include "tools/vantor-receiver/receiveroptions.h"

class QTcpSocket;

namespace vantor::receiver {

constexpr quint16 kCommandPort = 43575;
// A sender's line is a few dozen bytes; anything this long is not a sender.
constexpr int kMaxCommandLine = 64 * 1024;

class CommandServer : public QObject {
    Q_OBJECT
public:
    CommandServer(const ReceiverOptions& options, CastState* state, QObject* parent = nullptr);
    bool listen();

private slots:
    void acceptConnection();

private:
    void readLines(QTcpSocket* socket, LineSplitter& lines);
    void dropOverlongLine(QTcpSocket* socket);
    void scheduleAnswer(QTcpSocket* socket);
    void answer(QTcpSocket* socket);
    void reply(QTcpSocket* socket, const char* word);

    ReceiverOptions options_;
    CastState* state_;
    QTcpServer server_;
    AnswerPrompt* prompt_ = nullptr;
};

}  // namespace vantor::receiver
