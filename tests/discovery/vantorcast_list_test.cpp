#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QUdpSocket>

#include "tests/discovery/castprocess.h"

using testsupport::runCast;

namespace {

// Announces every 200 ms by unicast from a loopback address of its own.
class LoopbackAnnouncer {
public:
    LoopbackAnnouncer(const QString& from, const QByteArray& text) : text_(text)
    {
        bound_ = socket_.bind(QHostAddress(from), 0);
    }
    bool bound() const { return bound_; }
    void tick()
    {
        if (clock_.isValid() && clock_.elapsed() < 200) return;
        clock_.start();
        socket_.writeDatagram(text_, QHostAddress(QHostAddress::LocalHost), 43572);
    }

private:
    QUdpSocket socket_;
    QByteArray text_;
    QElapsedTimer clock_;
    bool bound_ = false;
};

TEST(VantorCastList, PrintsLiveReceiversSortedByCode)
{
    LoopbackAnnouncer kitchen("127.0.0.2", "#:#castcode#:#500000#:#Kitchen#:#x#:#true#:#1#:#1");
    LoopbackAnnouncer hall("127.0.0.3", "#:#castcode#:#100000#:#Hall Tv#:#x#:#true#:#2#:#1");
    LoopbackAnnouncer forger("127.0.0.5",
                             "#:#castcode#:#400000#:#Evil\n999999\tFake#:#x#:#true#:#1#:#1");
    LoopbackAnnouncer gone("127.0.0.4", "#:#castcode#:#300000#:#Gone#:#x#:#true#:#1#:#0");
    ASSERT_TRUE(kitchen.bound() && hall.bound() && forger.bound() && gone.bound());
    const auto run = runCast({"list", "--seconds", "2"}, [&] {
        kitchen.tick();
        hall.tick();
        forger.tick();
        gone.tick();
    });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              "100000\tHall Tv\t127.0.0.3\n"
              "400000\tEvil 999999 Fake\t127.0.0.5\n"
              "500000\tKitchen\t127.0.0.2\n");
}

TEST(VantorCastList, NothingHeardPrintsNothing)
{
    const auto run = runCast({"list", "--seconds", "1"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

TEST(VantorCastList, UsageErrorsExitWith64)
{
    for (const QStringList& arguments :
         {QStringList{"list", "--seconds", "0"}, QStringList{"list", "--seconds", "soon"},
          QStringList{"list", "extra"}, QStringList{"list", "--colour"}, QStringList{"lsit"},
          QStringList{}}) {
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
