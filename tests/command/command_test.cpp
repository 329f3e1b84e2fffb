#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QHostInfo>
#include <QNetworkInterface>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "src/command/commandclient.h"
#include "tests/discovery/logcapture.h"

using testsupport::waitUntil;

namespace {

const QString kReceiverAddress = QStringLiteral("127.0.0.3");

// A receiver's command port on a loopback address: accepts one connection and
// lets the test read the connect line and write answers.
class FakeReceiver {
public:
    explicit FakeReceiver(const QString& address = kReceiverAddress)
    {
        listening_ = server_.listen(QHostAddress(address), CommandClient::kCommandPort);
    }

    bool listening() const { return listening_; }

    // Waits for the client and its connect line.
    bool acceptClient()
    {
        if (!waitUntil([&] { return server_.hasPendingConnections(); })) return false;
        peer_.reset(server_.nextPendingConnection());
        return waitUntil([&] { return peer_->canReadLine(); });
    }

    QByteArray connectLine() { return peer_->readLine(); }

    void send(const QByteArray& bytes)
    {
        peer_->write(bytes);
        peer_->flush();
    }

    // Waits until the client side has closed the connection.
    bool clientClosed()
    {
        return waitUntil([&] { return peer_->state() == QAbstractSocket::UnconnectedState; });
    }

    // Ends the connection with a reset instead of an orderly close.
    void reset()
    {
        const linger hardClose{1, 0};
        ::setsockopt(int(peer_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hardClose,
                     sizeof hardClose);
        peer_->abort();
    }

private:
    QTcpServer server_;
    std::unique_ptr<QTcpSocket> peer_;
    bool listening_ = false;
};

// Records the client's signals in the order they come.
class Recorder {
public:
    explicit Recorder(CommandClient& client)
    {
        for (auto [name, signal] :
             {std::pair{"connected", &CommandClient::connected},
              std::pair{"accept", &CommandClient::accept},
              std::pair{"refuse", &CommandClient::refuse}, std::pair{"busy", &CommandClient::busy},
              std::pair{"error", &CommandClient::error}}) {
            const QString signalName = QString::fromLatin1(name);
            QObject::connect(&client, signal, [this, signalName](const QString& host) {
                events << signalName + " " + host;
            });
        }
    }
    QStringList events;
};

class CommandChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::clearCaptured();
        ASSERT_TRUE(receiver_.listening());
        client_.connectTo(kReceiverAddress);
        ASSERT_TRUE(receiver_.acceptClient());
        connectLine_ = receiver_.connectLine();
    }

    QStringList answersOnly() const { return recorder_.events.mid(1); }
    QTcpSocket* clientSocket() { return client_.findChild<QTcpSocket*>(); }

    FakeReceiver receiver_;
    CommandClient client_;
    Recorder recorder_{client_};
    QByteArray connectLine_;
};

TEST_F(CommandChannel, SendsExactConnectLineAfterConnectedSignal)
{
    QString hardwareAddress;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (!(iface.flags() & QNetworkInterface::IsLoopBack)) {
            hardwareAddress = iface.hardwareAddress();
            break;
        }
    }
    const QByteArray expected =
        ("connect#:#" + hardwareAddress + "#:#" + QHostInfo::localHostName() + "\n").toUtf8();
    EXPECT_EQ(connectLine_, expected);
    EXPECT_TRUE(QRegularExpression("^connect#:#([0-9A-F]{2}(:[0-9A-F]{2}){5})?#:#[^\\n]+\\n$")
                    .match(QString::fromUtf8(connectLine_))
                    .hasMatch())
        << connectLine_.toStdString();
    EXPECT_EQ(recorder_.events, QStringList{"connected 127.0.0.3"});
}

TEST_F(CommandChannel, AnswerPrefixesAreCaseSensitive)
{
    receiver_.send("ACCEPT\nBusy now\nhello\nrefuse, sorry\n");
    ASSERT_TRUE(waitUntil([&] { return recorder_.events.size() == 2; }));
    receiver_.send("accept and more\n");
    ASSERT_TRUE(waitUntil([&] { return recorder_.events.size() == 3; }));
    EXPECT_EQ(answersOnly(), (QStringList{"refuse 127.0.0.3", "accept 127.0.0.3"}));
}

TEST_F(CommandChannel, TwoAnswersInOneSegmentComeInOrder)
{
    receiver_.send("busy\naccept\n");
    ASSERT_TRUE(waitUntil([&] { return recorder_.events.size() == 3; }));
    EXPECT_EQ(answersOnly(), (QStringList{"busy 127.0.0.3", "accept 127.0.0.3"}));
}

TEST_F(CommandChannel, PartialLineWaitsForItsLineFeed)
{
    // The client reads in its socket's readyRead, connected before ours: once we
    // have seen a read, the client has been through those bytes.
    int reads = 0;
    QObject counting;
    QObject::connect(clientSocket(), &QTcpSocket::readyRead, &counting, [&] { ++reads; });
    receiver_.send("acc");
    ASSERT_TRUE(waitUntil([&] { return reads >= 1; }));
    EXPECT_TRUE(answersOnly().isEmpty());
    const int readsBefore = reads;
    receiver_.send("ept");
    ASSERT_TRUE(waitUntil([&] { return reads > readsBefore; }));
    EXPECT_TRUE(answersOnly().isEmpty());
    receiver_.send("\n");
    ASSERT_TRUE(waitUntil([&] { return recorder_.events.size() == 2; }));
    EXPECT_EQ(answersOnly(), QStringList{"accept 127.0.0.3"});
}

TEST_F(CommandChannel, CloseLineClosesWithoutSignalAndStopsReading)
{
    receiver_.send("close\naccept\n");
    // The client closes in the read that brought the close line; the receiver
    // sees the close only after that read has returned.
    ASSERT_TRUE(receiver_.clientClosed());
    EXPECT_EQ(clientSocket()->state(), QAbstractSocket::UnconnectedState);
    EXPECT_TRUE(answersOnly().isEmpty());
}

TEST_F(CommandChannel, ResetAfterConnectLineGivesNoSignal)
{
    receiver_.reset();
    // The error and the end of the connection are the socket's last events.
    ASSERT_TRUE(waitUntil([] { return testsupport::countCaptured("displayError") > 0; }));
    ASSERT_TRUE(
        waitUntil([&] { return clientSocket()->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(answersOnly().isEmpty());
}

TEST_F(CommandChannel, OverlongLineClosesTheConnectionWithoutSignal)
{
    receiver_.send(QByteArray(CommandClient::kMaxLineBytes + 4096, 'a'));
    ASSERT_TRUE(receiver_.clientClosed());
    EXPECT_TRUE(answersOnly().isEmpty());
    EXPECT_EQ(testsupport::countCaptured("answer line longer than"), 1);
}

TEST_F(CommandChannel, OverlongLineWithLineFeedIsRefusedToo)
{
    receiver_.send("accept" + QByteArray(CommandClient::kMaxLineBytes, ' ') + "\n");
    ASSERT_TRUE(receiver_.clientClosed());
    EXPECT_TRUE(answersOnly().isEmpty());
}

TEST_F(CommandChannel, LongestAllowedLineStillCounts)
{
    receiver_.send("refuse" + QByteArray(CommandClient::kMaxLineBytes - 7, '.') + "\n");
    ASSERT_TRUE(waitUntil([&] { return recorder_.events.size() == 2; }));
    EXPECT_EQ(answersOnly(), QStringList{"refuse 127.0.0.3"});
}

// The session drops a client it is done with from inside that client's own answer
// signal: it stops listening to it and lets it go with deleteLater, never with
// delete (its socket is still in the middle of readyRead). The client and its
// socket go once the event loop is back, the connection closes, and an answer
// that came in the same read reaches nobody.
TEST(CommandChannelOwnership, ClientDroppedFromItsOwnSlotGoesLaterWithItsConnection)
{
    FakeReceiver receiver(QStringLiteral("127.0.0.5"));
    ASSERT_TRUE(receiver.listening());
    auto* client = new CommandClient;
    QPointer<CommandClient> alive(client);
    QPointer<QTcpSocket> socket(client->findChild<QTcpSocket*>());
    ASSERT_FALSE(socket.isNull());
    int answers = 0;
    bool aliveAfterDrop = false;
    QObject::connect(client, &CommandClient::busy, [&] {
        ++answers;
        client->disconnect();
        client->deleteLater();
        aliveAfterDrop = !alive.isNull() && !socket.isNull();
    });
    QObject::connect(client, &CommandClient::accept, [&] { ++answers; });
    client->connectTo(QStringLiteral("127.0.0.5"));
    ASSERT_TRUE(receiver.acceptClient());
    receiver.send("busy\naccept\n");
    ASSERT_TRUE(waitUntil([&] { return alive.isNull(); }));
    EXPECT_TRUE(aliveAfterDrop);
    ASSERT_TRUE(waitUntil([&] { return socket.isNull(); }));
    EXPECT_TRUE(receiver.clientClosed());
    EXPECT_EQ(answers, 1);
}

TEST(CommandChannelErrors, RefusedPortGivesError)
{
    CommandClient client;
    Recorder recorder(client);
    client.connectTo(QStringLiteral("127.0.0.4"));  // nobody listens there
    ASSERT_TRUE(waitUntil([&] { return !recorder.events.isEmpty(); }));
    EXPECT_EQ(recorder.events, QStringList{"error 127.0.0.4"});
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testsupport::installCapture();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
