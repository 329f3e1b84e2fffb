#include "tools/vantor-receiver/commandserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace vantor::receiver {

namespace {
QString peerOf(const QTcpSocket* socket) { return socket->peerAddress().toString(); }
}  // namespace

CommandServer::CommandServer(const ReceiverOptions& options, CastState* state, QObject* parent)
    : QObject(parent), options_(options), state_(state)
{
    if (options_.answer == AnswerMode::Ask) prompt_ = new AnswerPrompt(this);
    connect(&server_, &QTcpServer::newConnection, this, &CommandServer::acceptConnection);
}

bool CommandServer::listen()
{
    if (server_.listen(options_.bindAddress, kCommandPort)) return true;
    std::fprintf(stderr, "vantor-receiver: cannot listen on %s:%u: %s\n",
                 qPrintable(options_.bindAddress.toString()), kCommandPort,
                 qPrintable(server_.errorString()));
    return false;
}

void CommandServer::acceptConnection()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        std::fprintf(stderr, "command connection from %s\n", qPrintable(peerOf(socket)));
        // Bounded buffer: Qt stops reading once an unterminated line fills it.
        socket->setReadBufferSize(kMaxCommandLine + 1);
        // A line may hold kMaxCommandLine bytes with its line feed.
        auto lines = std::make_shared<LineSplitter>(kMaxCommandLine, kMaxCommandLine);
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket, lines] { readLines(socket, *lines); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::disconnected, this, [peer = peerOf(socket)] {
            std::fprintf(stderr, "command connection from %s closed\n", qPrintable(peer));
        });
        readLines(socket, *lines);
    }
}

void CommandServer::readLines(QTcpSocket* socket, LineSplitter& lines)
{
    lines.append(socket->readAll());
    QByteArray line;
    for (;;) {
        const LineSplitter::Next next = lines.next(&line);
        if (next == LineSplitter::Next::NeedMore) return;
        if (next == LineSplitter::Next::TooLong) return dropOverlongLine(socket);
        const QString text = QString::fromUtf8(line.trimmed());
        if (text.startsWith("connect")) {
            const QStringList parts = text.split("#:#");
            std::fprintf(stderr, "cast request from %s: hw=%s host=%s\n",
                         qPrintable(peerOf(socket)), qPrintable(parts.value(1)),
                         qPrintable(parts.value(2)));
            state_->setSenderName(socket->peerAddress(), parts.value(2).left(64));
            scheduleAnswer(socket);
        } else {
            std::fprintf(stderr, "ignored command line from %s: %s\n", qPrintable(peerOf(socket)),
                         qPrintable(text.left(200)));
        }
    }
}

void CommandServer::dropOverlongLine(QTcpSocket* socket)
{
    std::fprintf(stderr,
                 "command connection from %s: line longer than %d bytes, connection closed\n",
                 qPrintable(peerOf(socket)), kMaxCommandLine);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void CommandServer::scheduleAnswer(QTcpSocket* socket)
{
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(options_.answerDelayMs, this, [this, guarded] {
        if (guarded && guarded->state() == QAbstractSocket::ConnectedState) answer(guarded);
    });
}

void CommandServer::answer(QTcpSocket* socket)
{
    const QHostAddress peer = socket->peerAddress();
    if (state_->isBusyFor(peer)) return reply(socket, "busy");
    switch (options_.answer) {
        case AnswerMode::Accept:
            state_->reserve(peer);
            return reply(socket, "accept");
        case AnswerMode::Refuse:
            return reply(socket, "refuse");
        case AnswerMode::Busy:
            return reply(socket, "busy");
        case AnswerMode::Ask: {
            QPointer<QTcpSocket> guarded(socket);
            prompt_->ask(QString("Accept a cast from %1?").arg(peer.toString()),
                         [this, guarded](bool accepted) {
                             if (!guarded || guarded->state() != QAbstractSocket::ConnectedState)
                                 return;
                             // Someone else may have taken the receiver while we asked.
                             if (state_->isBusyFor(guarded->peerAddress()))
                                 return reply(guarded, "busy");
                             if (!accepted) return reply(guarded, "refuse");
                             state_->reserve(guarded->peerAddress());
                             reply(guarded, "accept");
                         });
            return;
        }
    }
}

void CommandServer::reply(QTcpSocket* socket, const char* word)
{
    std::fprintf(stderr, "answered %s to %s\n", word, qPrintable(peerOf(socket)));
    socket->write(QByteArray(word) + '\n');
    socket->flush();
}

}  // namespace vantor::receiver
