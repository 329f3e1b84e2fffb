#include "src/keepalive/keepalive.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "tests/discovery/logcapture.h"

using testsupport::waitUntil;

namespace {

std::unique_ptr<QTcpSocket> connectClient()
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, KeepAlive::kEchoPort);
    return socket;
}

// Reads from `socket` until `size` bytes arrived (or time runs out).
QByteArray readExactly(QTcpSocket& socket, int size)
{
    QByteArray received;
    waitUntil(
        [&] {
            received += socket.readAll();
            return received.size() >= size;
        },
        20000);
    return received;
}

class EchoServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::clearCaptured();
        ASSERT_TRUE(server_.isListening());
    }
    KeepAlive server_;
};

TEST_F(EchoServer, EchoesFourBytesAndOneMegabyteUnchanged)
{
    auto client = connectClient();
    client->write("ping");
    EXPECT_EQ(readExactly(*client, 4), QByteArray("ping"));

    QByteArray megabyte(1'000'000, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(megabyte.data()), megabyte.size() / 4);
    // A marker after it: anything the server added would come before the marker's
    // echo, in the same byte stream.
    client->write(megabyte + "end");
    EXPECT_EQ(readExactly(*client, megabyte.size() + 3), megabyte + "end");
    EXPECT_EQ(client->bytesAvailable(), 0) << "nothing beyond the echo";
}

TEST_F(EchoServer, TwoClientsAtOnceAreBothServedAndDisconnectsAreForgotten)
{
    auto first = connectClient();
    auto second = connectClient();
    ASSERT_TRUE(waitUntil([&] { return server_.clients().size() == 2; }));
    first->write("one");
    second->write("two");
    EXPECT_EQ(readExactly(*first, 3), QByteArray("one"));
    EXPECT_EQ(readExactly(*second, 3), QByteArray("two"));

    first->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return server_.clients().size() == 1; }));

    server_.closeAll();
    EXPECT_TRUE(server_.clients().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return second->state() == QAbstractSocket::UnconnectedState; }));

    // Still serving after closeAll.
    auto third = connectClient();
    third->write("three");
    EXPECT_EQ(readExactly(*third, 5), QByteArray("three"));
}

// Sends up to `limit` bytes to the echo port and never reads; stops when the
// server has pushed back for a while.
class Flooder {
public:
    explicit Flooder(qint64 limit) : thread_([this, limit] { run(limit); }) {}
    ~Flooder()
    {
        thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    bool done() const { return done_; }
    qint64 sent() const { return sent_; }

private:
    void run(qint64 limit)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(KeepAlive::kEchoPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            done_ = true;
            return;
        }
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        const std::string chunk(64 * 1024, 'x');
        auto lastProgress = std::chrono::steady_clock::now();
        while (sent_ < limit &&
               std::chrono::steady_clock::now() - lastProgress < std::chrono::milliseconds(1500)) {
            const ssize_t n = ::send(fd_, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (n > 0) {
                sent_ += n;
                lastProgress = std::chrono::steady_clock::now();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        done_ = true;
    }

    int fd_ = -1;
    std::atomic<qint64> sent_{0};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST_F(EchoServer, ClientThatNeverReadsCannotGrowOurWriteBuffer)
{
    constexpr qint64 kFlood = 64LL * 1024 * 1024;
    qint64 mostPending = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        for (QTcpSocket* client : server_.clients())
            mostPending = qMax(mostPending, client->bytesToWrite());
    });
    sampler.start(2);

    Flooder flooder(kFlood);
    ASSERT_TRUE(waitUntil([&] { return flooder.done(); }, 120000));
    for (QTcpSocket* client : server_.clients())
        mostPending = qMax(mostPending, client->bytesToWrite());

    EXPECT_GT(flooder.sent(), 8LL * 1024 * 1024) << "the flood must be big enough to matter";
    EXPECT_LT(mostPending, 8LL * 1024 * 1024);

    // A well-behaved client is still served meanwhile.
    auto client = connectClient();
    client->write("still here");
    EXPECT_EQ(readExactly(*client, 10), QByteArray("still here"));
}

TEST(EchoServerPortTaken, LogsAndStaysUsable)
{
    testsupport::clearCaptured();
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::Any, KeepAlive::kEchoPort));
    KeepAlive server;
    EXPECT_FALSE(server.isListening());
    EXPECT_EQ(testsupport::countCaptured("Unable to start the server"), 1);
    server.closeAll();
    EXPECT_TRUE(server.clients().isEmpty());
}

TEST(EchoServerSingleton, InstanceIsOneParentlessObject)
{
    KeepAlive& first = KeepAlive::instance();
    EXPECT_EQ(&first, &KeepAlive::instance());
    EXPECT_EQ(first.parent(), nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testsupport::installCapture();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
