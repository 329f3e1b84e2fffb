// vantor-cast send as a user runs it, against real receivers on loopback: what
// each receiver's summary line says about how its stream ended, the exit
// status, and what reaches the terminal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include "tests/session/receiverprocess.h"

namespace {

struct SendRun {
    int exitCode = -1;
    QStringList lines;  // standard output
    QString errors;     // standard error
    QString lineFor(const QString& address) const
    {
        for (const QString& line : lines)
            if (line.startsWith("receiver=" + address + " ")) return line;
        return {};
    }
};

// The text after "key=" up to the next space.
QString fieldOf(const QString& line, const QString& key)
{
    for (const QString& part : line.split(' '))
        if (part.startsWith(key + "=")) return part.mid(key.size() + 1);
    return {};
}

// Runs vantor-cast with the event loop turning, so that peers living in this
// process (a fake command port) can answer.
SendRun runCast(const QStringList& arguments)
{
    QTemporaryDir config;  // no user's cfg.ini
    QProcess cast;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config.path());
    cast.setProcessEnvironment(environment);
    cast.start(castProgram(), arguments);
    SendRun run;
    QEventLoop loop;
    QObject::connect(&cast, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QObject::connect(&cast, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (cast.state() != QProcess::NotRunning) loop.exec();
    if (cast.state() != QProcess::NotRunning) {
        cast.kill();
        cast.waitForFinished();
        return run;
    }
    run.exitCode = cast.exitStatus() == QProcess::NormalExit ? cast.exitCode() : -1;
    run.lines = QString::fromUtf8(cast.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(cast.readAllStandardError());
    return run;
}

// Answers "accept" on a command port and has nothing behind the media ports.
class AcceptingCommandPort {
public:
    explicit AcceptingCommandPort(const QString& address)
    {
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    if (socket->canReadLine() && socket->readLine().startsWith("connect"))
                        socket->write("accept\n");
                });
            }
        });
        listening_ = server_.listen(QHostAddress(address), 43575);
    }
    bool listening() const { return listening_; }

private:
    QTcpServer server_;
    bool listening_ = false;
};

}  // namespace

// A receiver that goes away two seconds into an eight-second cast is not summed
// up like a served one: its line says it was reset and when, the user reads it,
// and the run fails; the receiver that stayed was served to the end.
TEST(VantorCastSend, AReceiverLostMidCastIsReportedAndFailsTheRun)
{
    ReceiverProcess leaving("127.0.0.41", {"--seconds", "2"});
    ReceiverProcess staying("127.0.0.42", {});
    ASSERT_TRUE(leaving.waitUntilListening());
    ASSERT_TRUE(staying.waitUntilListening());
    const SendRun run = runCast(
        {"send", "--to", "127.0.0.41", "--to", "127.0.0.42", "--seconds", "8", "--source", "test"});
    EXPECT_EQ(run.exitCode, 1);

    const QString lost = run.lineFor("127.0.0.41");
    EXPECT_EQ(fieldOf(lost, "streamed"), "0") << lost.toStdString();
    EXPECT_EQ(fieldOf(lost, "end"), "reset") << lost.toStdString();
    const double lostAt = fieldOf(lost, "end_s").toDouble();
    EXPECT_GT(lostAt, 0.0);
    EXPECT_LT(lostAt, 8.0);  // before the cast's end
    EXPECT_TRUE(run.errors.contains("127.0.0.41: connection reset at")) << run.errors.toStdString();

    const QString served = run.lineFor("127.0.0.42");
    EXPECT_EQ(fieldOf(served, "streamed"), "1") << served.toStdString();
    EXPECT_EQ(fieldOf(served, "end"), "completed");
    EXPECT_GE(fieldOf(served, "end_s").toDouble(), 8.0);
    EXPECT_GT(ReceiverProcess::field(staying.waitForSummary(), "video_frames"), 0);
}

// The receiver said yes but its media ports are closed.
TEST(VantorCastSend, AReceiverThatCannotBeConnectedToFailsTheRun)
{
    AcceptingCommandPort port("127.0.0.43");
    ASSERT_TRUE(port.listening());
    const SendRun run =
        runCast({"send", "--to", "127.0.0.43", "--seconds", "2", "--source", "test"});
    EXPECT_EQ(run.exitCode, 1);
    const QString line = run.lineFor("127.0.0.43");
    ASSERT_FALSE(line.isEmpty()) << run.errors.toStdString();
    EXPECT_EQ(fieldOf(line, "answer"), "accept") << line.toStdString();
    EXPECT_EQ(fieldOf(line, "end"), "could-not-connect") << line.toStdString();
    EXPECT_TRUE(run.errors.contains("127.0.0.43: could not connect")) << run.errors.toStdString();
}

// A served cast prints its summary and nothing else: no encoder statistics, no
// debug lines with source paths. --verbose brings them back.
TEST(VantorCastSend, TheTerminalGetsTheProgramsOwnLinesUnlessVerbose)
{
    ReceiverProcess receiver("127.0.0.44", {});
    ASSERT_TRUE(receiver.waitUntilListening());
    const SendRun quiet =
        runCast({"send", "--to", "127.0.0.44", "--seconds", "1", "--source", "test"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(fieldOf(quiet.lineFor("127.0.0.44"), "end"), "completed");
    EXPECT_TRUE(quiet.errors.isEmpty()) << quiet.errors.toStdString();

    const SendRun verbose =
        runCast({"--verbose", "send", "--to", "127.0.0.44", "--seconds", "1", "--source", "test"});
    EXPECT_EQ(verbose.exitCode, 0);
    EXPECT_TRUE(verbose.errors.contains("[libx264 @")) << verbose.errors.toStdString();
    EXPECT_TRUE(verbose.errors.contains(".cpp:")) << verbose.errors.toStdString();
}

// The cast ends with where its pictures' time went, stage by stage in the order
// a picture passes them, before the encoder line that closes the output.
TEST(VantorCastSend, TheCastEndsWithThePicturesTimePerStage)
{
    ReceiverProcess receiver("127.0.0.46", {});
    ASSERT_TRUE(receiver.waitUntilListening());
    const SendRun run =
        runCast({"send", "--to", "127.0.0.46", "--seconds", "2", "--source", "test"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    ASSERT_TRUE(run.lines.last().startsWith("encode frames="))
        << run.lines.join('\n').toStdString();
    const QString encodeLine = run.lines.last();

    const QStringList expected = {"capture_wait", "conversion", "encode", "queueing",
                                  "socket_write"};
    QStringList stageLines;
    for (const QString& line : run.lines)
        if (line.startsWith("stage ")) stageLines << line;
    ASSERT_EQ(stageLines.size(), expected.size()) << run.lines.join('\n').toStdString();
    ASSERT_EQ(run.lines.indexOf(stageLines.last()), run.lines.size() - 2);
    for (int i = 0; i < expected.size(); ++i) {
        const QString& line = stageLines[i];
        EXPECT_EQ(line.section(' ', 1, 1), expected[i]) << line.toStdString();
        bool ok50 = false, ok95 = false, okSamples = false;
        const double p50 = fieldOf(line, "p50_ms").toDouble(&ok50);
        const double p95 = fieldOf(line, "p95_ms").toDouble(&ok95);
        const int samples = fieldOf(line, "samples").toInt(&okSamples);
        ASSERT_TRUE(ok50 && ok95 && okSamples) << line.toStdString();
        EXPECT_GE(p50, 0.0) << line.toStdString();
        EXPECT_LE(p50, p95) << line.toStdString();
        EXPECT_GT(samples, 0) << line.toStdString();
    }

    // Every picture encoded passed conversion and encoder (the two lines are read a
    // frame apart at most), and each is a part of what the encoder line times.
    const int frames = fieldOf(encodeLine, "frames").toInt();
    const double wholeP95 = fieldOf(encodeLine, "p95_ms").toDouble();
    for (const QString& line : {stageLines[1], stageLines[2]}) {
        EXPECT_NEAR(fieldOf(line, "samples").toInt(), frames, 2) << line.toStdString();
        EXPECT_LE(fieldOf(line, "p50_ms").toDouble(), wholeP95) << line.toStdString();
    }
    // Queueing and the write are timed for every video packet the receiver got.
    const QString served = run.lineFor("127.0.0.46");
    const QString packets = fieldOf(served, "video_packets");
    EXPECT_EQ(fieldOf(stageLines[3], "samples"), packets) << served.toStdString();
    EXPECT_EQ(fieldOf(stageLines[4], "samples"), packets) << served.toStdString();
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
