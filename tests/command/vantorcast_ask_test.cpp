#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <memory>

#include "tests/discovery/castprocess.h"

using testsupport::runCast;

namespace {

const QString kAddress = QStringLiteral("127.0.0.6");

// Command port that answers every connect line with a fixed reply (or stays silent).
class AnsweringReceiver {
public:
    explicit AnsweringReceiver(const QByteArray& reply) : reply_(reply)
    {
        listening_ = server_.listen(QHostAddress(kAddress), 43575);
    }
    bool listening() const { return listening_; }

    void tick()
    {
        while (server_.hasPendingConnections())
            peers_.emplace_back(server_.nextPendingConnection());
        for (auto& peer : peers_) {
            if (peer->canReadLine()) {
                connectLines_ << peer->readLine();
                peer->write(reply_);
            }
        }
    }
    const QList<QByteArray>& connectLines() const { return connectLines_; }

private:
    QTcpServer server_;
    std::vector<std::unique_ptr<QTcpSocket>> peers_;
    QByteArray reply_;
    QList<QByteArray> connectLines_;
    bool listening_ = false;
};

struct Case {
    QByteArray reply;
    const char* word;
    int exitCode;
};

TEST(VantorCastAsk, PrintsTheAnswerWordAndExitsWithItsCode)
{
    for (const Case& c : {Case{"accept\n", "accept", 0}, Case{"refuse\n", "refuse", 1},
                          Case{"busy\n", "busy", 2}, Case{"", "timeout", 4}}) {
        AnsweringReceiver receiver(c.reply);
        ASSERT_TRUE(receiver.listening());
        const auto run =
            runCast({"ask", "--to", kAddress, "--timeout", "2"}, [&] { receiver.tick(); });
        EXPECT_EQ(run.out, QString(c.word) + "\n");
        EXPECT_EQ(run.exitCode, c.exitCode) << c.word;
        ASSERT_EQ(receiver.connectLines().size(), 1);
        EXPECT_TRUE(receiver.connectLines().first().startsWith("connect#:#"));
    }
}

TEST(VantorCastAsk, UnreachableAddressIsAnError)
{
    const auto run = runCast({"ask", "--to", "127.0.0.7"});
    EXPECT_EQ(run.out, "error\n");
    EXPECT_EQ(run.exitCode, 3);
}

TEST(VantorCastAsk, CastCodeIsLookedUpFromAnnouncements)
{
    AnsweringReceiver receiver("busy\n");
    ASSERT_TRUE(receiver.listening());
    QUdpSocket announcer;
    ASSERT_TRUE(announcer.bind(QHostAddress(kAddress), 0));
    QElapsedTimer sinceAnnouncement;
    const auto run = runCast({"ask", "--to", "246810", "--timeout", "5"}, [&] {
        receiver.tick();
        if (!sinceAnnouncement.isValid() || sinceAnnouncement.elapsed() > 200) {
            sinceAnnouncement.start();
            announcer.writeDatagram("#:#castcode#:#246810#:#Den#:#x#:#true#:#1#:#1",
                                    QHostAddress(QHostAddress::LocalHost), 43572);
        }
    });
    EXPECT_EQ(run.out, "busy\n");
    EXPECT_EQ(run.exitCode, 2);
}

TEST(VantorCastAsk, UnknownCastCodeIsAnError)
{
    const auto run = runCast({"ask", "--to", "135790", "--timeout", "1"});
    EXPECT_EQ(run.out, "error\n");
    EXPECT_EQ(run.exitCode, 3);
}

TEST(VantorCastAsk, UsageErrorsExitWith64)
{
    for (const QStringList& arguments :
         {QStringList{"ask"}, QStringList{"ask", "--to"}, QStringList{"ask", "--to", ""},
          QStringList{"ask", "--to", kAddress, "--timeout", "-1"},
          QStringList{"ask", "--to", kAddress, "--timeout", "ten"}}) {
        const auto run = runCast(arguments);
        EXPECT_EQ(run.exitCode, 64) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(run.err.isEmpty());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
