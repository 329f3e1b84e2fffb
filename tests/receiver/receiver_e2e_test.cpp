// vantor-receiver as a whole: a scripted sender in the test talks to the real program
// over loopback sockets (receiver on 127.0.0.2, senders on 127.0.0.1 and 127.0.0.3).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMap>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <memory>

#include "tests/receiver/receiverprocess.h"
#include "tests/receiver/testmedia.h"

namespace vantor::receiver::test {
namespace {

const char kReceiverAddress[] = "127.0.0.2";
constexpr quint16 kVideoPort = 43572;
constexpr quint16 kAudioPort = 43573;
constexpr quint16 kCommandPort = 43575;

QStringList receiverArguments(const QStringList& more)
{
    return QStringList{"--bind", kReceiverAddress, "--no-announce"} + more;
}

std::unique_ptr<QTcpSocket> connectFrom(const char* source, quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(source), 0);
    socket->connectToHost(QHostAddress(kReceiverAddress), port);
    if (!socket->waitForConnected(5000)) return nullptr;
    return socket;
}

void sendAll(QTcpSocket& socket, const Bytes& bytes)
{
    socket.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) {
    }
}

void closeAndWait(QTcpSocket& socket)
{
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(5000);
}

// A sender's command connection after it has asked to cast.
struct CastRequest {
    std::unique_ptr<QTcpSocket> socket;
    QString answer;
};

CastRequest askToCast(const char* source)
{
    CastRequest request;
    request.socket = connectFrom(source, kCommandPort);
    if (!request.socket) return request;
    request.socket->write("connect#:#02:00:00:00:00:01#:#test-sender\n");
    while (!request.socket->canReadLine() && request.socket->waitForReadyRead(10000)) {
    }
    request.answer = QString::fromUtf8(request.socket->readLine());
    return request;
}

QMap<QString, QString> fieldsOf(const QString& line)
{
    QMap<QString, QString> fields;
    for (const QString& token : line.split(' ', Qt::SkipEmptyParts)) {
        const int equals = token.indexOf('=');
        if (equals > 0) fields[token.left(equals)] = token.mid(equals + 1);
    }
    return fields;
}

class ReceiverProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() { stream_ = encodeTestStream(10, 15); }
    static TestStream stream_;

    Bytes videoWire(size_t frames) const
    {
        Bytes wire;
        for (size_t i = 0; i < frames && i < stream_.video.size(); ++i)
            append(wire, mediaFrame(stream_.video[i].data, stream_.video[i].timestamp));
        return wire;
    }
    Bytes audioWire() const
    {
        Bytes wire = audioStreamHeader(2, 48000);
        for (const TimedPacket& p : stream_.audio) append(wire, mediaFrame(p.data, p.timestamp));
        return wire;
    }
    // One whole cast from 127.0.0.1: both connections, the stream, then close.
    void castOnce(const Bytes& video, const Bytes& audio)
    {
        auto videoSocket = connectFrom("127.0.0.1", kVideoPort);
        auto audioSocket = connectFrom("127.0.0.1", kAudioPort);
        ASSERT_TRUE(videoSocket && audioSocket);
        sendAll(*audioSocket, audio);
        sendAll(*videoSocket, video);
        closeAndWait(*videoSocket);
        closeAndWait(*audioSocket);
    }

    QTemporaryDir dir_;
    ReceiverProcess receiver_;
};
TestStream ReceiverProgram::stream_;

TEST_F(ReceiverProgram, AnswersTheCastRequestAsConfigured)
{
    for (const char* answer : {"accept", "refuse", "busy"}) {
        SCOPED_TRACE(answer);
        ReceiverProcess receiver;
        ASSERT_TRUE(receiver.start(receiverArguments({"--answer", answer})));
        CastRequest request = askToCast("127.0.0.1");
        ASSERT_TRUE(request.socket);
        EXPECT_EQ(request.answer, QString(answer) + "\n");
        // The receiver leaves the command connection open for the sender to close.
        EXPECT_FALSE(request.socket->waitForDisconnected(300));
        EXPECT_EQ(receiver.terminate(), 0);
    }
}

TEST_F(ReceiverProgram, AsksOnStandardInputWhenToldTo)
{
    ASSERT_TRUE(receiver_.start(receiverArguments({"--answer", "ask", "--answer-delay-ms", "50"})));
    CastRequest refused;
    refused.socket = connectFrom("127.0.0.1", kCommandPort);
    ASSERT_TRUE(refused.socket);
    refused.socket->write("connect#:##:#test-sender\n");
    refused.socket->waitForBytesWritten(5000);
    ASSERT_TRUE(receiver_.waitForError("Accept a cast from 127.0.0.1? [y/n]"));
    receiver_.writeInput("maybe\nn\n");
    ASSERT_TRUE(refused.socket->waitForReadyRead(10000));
    EXPECT_EQ(refused.socket->readLine(), "refuse\n");

    receiver_.writeInput("y\n");  // typed ahead of the next question
    EXPECT_EQ(askToCast("127.0.0.1").answer, "accept\n");
    EXPECT_EQ(receiver_.terminate(), 0);
}

TEST_F(ReceiverProgram, ClosesACommandConnectionThatSendsAnEndlessLine)
{
    ASSERT_TRUE(receiver_.start(receiverArguments({"--answer", "accept"})));
    auto socket = connectFrom("127.0.0.1", kCommandPort);
    ASSERT_TRUE(socket);
    sendAll(*socket, Bytes(100 * 1024, 'x'));
    EXPECT_TRUE(socket->state() == QAbstractSocket::UnconnectedState ||
                socket->waitForDisconnected(10000));
    EXPECT_TRUE(socket->readAll().isEmpty());
    EXPECT_TRUE(receiver_.waitForError("line longer than 65536 bytes"));
    EXPECT_EQ(receiver_.terminate(), 0);
}

TEST_F(ReceiverProgram, IsBusyForASecondSenderWhileACastRuns)
{
    ASSERT_TRUE(receiver_.start(receiverArguments({"--answer", "accept"})));
    CastRequest first = askToCast("127.0.0.1");
    ASSERT_EQ(first.answer, "accept\n");
    // Accepted but not yet streaming: the receiver is held for the first sender.
    EXPECT_EQ(askToCast("127.0.0.3").answer, "busy\n");

    auto videoSocket = connectFrom("127.0.0.1", kVideoPort);
    auto audioSocket = connectFrom("127.0.0.1", kAudioPort);
    ASSERT_TRUE(videoSocket && audioSocket);
    sendAll(*audioSocket, audioWire());
    sendAll(*videoSocket, videoWire(3));
    ASSERT_FALSE(receiver_.waitForLine("status ").isEmpty());
    EXPECT_EQ(askToCast("127.0.0.3").answer, "busy\n");
    // Media connections from another sender are turned away too.
    auto intruder = connectFrom("127.0.0.3", kVideoPort);
    ASSERT_TRUE(intruder);
    EXPECT_TRUE(intruder->waitForDisconnected(10000));

    closeAndWait(*videoSocket);
    closeAndWait(*audioSocket);
    const QString summary = receiver_.waitForLine("cast-summary ");
    ASSERT_FALSE(summary.isEmpty());
    EXPECT_EQ(fieldsOf(summary)["video_frames"], "3");
    EXPECT_EQ(askToCast("127.0.0.3").answer, "accept\n");
    EXPECT_EQ(receiver_.terminate(), 0);
}

TEST_F(ReceiverProgram, CountsARealStreamAndRecordsEachCastToItsOwnFile)
{
    ASSERT_FALSE(stream_.video.empty());
    ASSERT_FALSE(stream_.audio.empty());
    const QString record = dir_.filePath("out.mkv");
    ASSERT_TRUE(receiver_.start(receiverArguments({"--answer", "accept", "--record", record})));
    ASSERT_EQ(askToCast("127.0.0.1").answer, "accept\n");
    const Bytes video = videoWire(stream_.video.size());
    castOnce(video, audioWire());
    const QString summary = receiver_.waitForLine("cast-summary ");
    ASSERT_FALSE(summary.isEmpty()) << receiver_.standardError().toStdString();
    QMap<QString, QString> fields = fieldsOf(summary);
    size_t videoBytes = 0;
    for (const TimedPacket& p : stream_.video) videoBytes += p.data.size();
    EXPECT_EQ(fields["peer"], "127.0.0.1");
    EXPECT_EQ(fields["video_frames"], QString::number(stream_.video.size()));
    EXPECT_EQ(fields["audio_frames"], QString::number(stream_.audio.size()));
    EXPECT_EQ(fields["video_bytes"], QString::number(videoBytes));
    EXPECT_EQ(fields["first_video_sps"], "1");
    EXPECT_EQ(fields["first_video_pps"], "1");
    EXPECT_EQ(fields["first_video_idr"], "1");
    EXPECT_EQ(fields["channels"], "2");
    EXPECT_EQ(fields["rate"], "48000");
    EXPECT_EQ(fields["errors"], "0");
    EXPECT_EQ(fields["recording"], "ok");

    // The next cast of the same run goes to out-2.mkv.
    castOnce(videoWire(4), audioWire());
    fields = fieldsOf(receiver_.waitForLine("cast-summary "));
    EXPECT_EQ(fields["video_frames"], "4");
    EXPECT_EQ(receiver_.terminate(), 0);

    const MediaFileCounts first = inspectMediaFile(record.toStdString());
    ASSERT_TRUE(first.opened);
    EXPECT_EQ(first.videoPackets, int(stream_.video.size()));
    EXPECT_EQ(first.decodedVideoFrames, int(stream_.video.size()));
    EXPECT_EQ(first.audioPackets, int(stream_.audio.size()));
    EXPECT_EQ(first.width, 64);
    EXPECT_EQ(first.sampleRate, 48000);
    const MediaFileCounts second = inspectMediaFile(dir_.filePath("out-2.mkv").toStdString());
    ASSERT_TRUE(second.opened);
    EXPECT_EQ(second.decodedVideoFrames, 4);
}

TEST_F(ReceiverProgram, SigtermDuringACastFinishesTheRecording)
{
    const QString record = dir_.filePath("interrupted.mp4");
    ASSERT_TRUE(receiver_.start(receiverArguments({"--answer", "accept", "--record", record})));
    auto videoSocket = connectFrom("127.0.0.1", kVideoPort);
    auto audioSocket = connectFrom("127.0.0.1", kAudioPort);
    ASSERT_TRUE(videoSocket && audioSocket);
    sendAll(*audioSocket, audioWire());
    sendAll(*videoSocket, videoWire(6));
    const QMap<QString, QString> status = fieldsOf(receiver_.waitForLine("status "));
    for (const char* key :
         {"video_fps", "video_kbps", "audio_frames", "last_video_ts", "last_audio_ts"})
        EXPECT_TRUE(status.contains(key)) << key;
    EXPECT_EQ(receiver_.terminate(), 0);
    const QMap<QString, QString> fields = fieldsOf(receiver_.waitForLine("cast-summary "));
    EXPECT_EQ(fields["video_frames"], "6");
    EXPECT_EQ(fields["recording"], "ok");
    const MediaFileCounts counts = inspectMediaFile(record.toStdString());
    ASSERT_TRUE(counts.opened);
    EXPECT_EQ(counts.decodedVideoFrames, 6);
    EXPECT_EQ(counts.audioPackets, int(stream_.audio.size()));
}

TEST_F(ReceiverProgram, CorruptLengthEndsTheChannelAndTheRecordingKeepsWhatCameBefore)
{
    const QString record = dir_.filePath("broken.mp4");
    ASSERT_TRUE(receiver_.start(receiverArguments({"--answer", "accept", "--record", record})));
    Bytes video = videoWire(5);
    const size_t badOffset = video.size();
    append(video, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1});
    append(video, videoWire(stream_.video.size()));  // nothing past the fault may count
    castOnce(video, audioWire());
    const QMap<QString, QString> fields = fieldsOf(receiver_.waitForLine("cast-summary "));
    EXPECT_EQ(fields["video_frames"], "5");
    EXPECT_EQ(fields["errors"], "1");
    EXPECT_EQ(fields["recording"], "ok");
    EXPECT_TRUE(receiver_.waitForError(
        QString("video channel: frame length 4294967295 above the 64 MiB limit at byte offset %1")
            .arg(badOffset)))
        << receiver_.standardError().toStdString();
    EXPECT_EQ(receiver_.terminate(), 0);

    const MediaFileCounts counts = inspectMediaFile(record.toStdString());
    ASSERT_TRUE(counts.opened);
    EXPECT_EQ(counts.videoPackets, 5);
    EXPECT_EQ(counts.decodedVideoFrames, 5);
}

TEST_F(ReceiverProgram, TruncatedAudioFrameAndBadMarkerAreReportedWithTheirChannel)
{
    ASSERT_TRUE(receiver_.start(receiverArguments({"--answer", "accept"})));
    Bytes audio = audioWire();
    const size_t cut = audio.size() - 3;
    audio.resize(cut);
    castOnce(videoWire(2), audio);
    QMap<QString, QString> fields = fieldsOf(receiver_.waitForLine("cast-summary "));
    EXPECT_EQ(fields["errors"], "1");
    EXPECT_EQ(fields["audio_frames"], QString::number(stream_.audio.size() - 1));
    EXPECT_TRUE(receiver_.waitForError("audio channel: connection ended inside a frame"));

    castOnce(videoWire(2), audioStreamHeader(2, 48000, 7));
    fields = fieldsOf(receiver_.waitForLine("cast-summary "));
    EXPECT_EQ(fields["errors"], "1");
    EXPECT_EQ(fields["audio_frames"], "0");
    EXPECT_TRUE(receiver_.waitForError(
        "audio channel: bad audio stream header marker 7 (expected 1) at byte offset 0"));
    EXPECT_EQ(receiver_.terminate(), 0);
}

TEST_F(ReceiverProgram, StopsReadingVideoOnRequestAndKeepsTheConnectionOpen)
{
    ASSERT_TRUE(
        receiver_.start(receiverArguments({"--answer", "accept", "--stop-reading-after", "2"})));
    auto videoSocket = connectFrom("127.0.0.1", kVideoPort);
    auto audioSocket = connectFrom("127.0.0.1", kAudioPort);
    ASSERT_TRUE(videoSocket && audioSocket);
    sendAll(*audioSocket, audioWire());
    sendAll(*videoSocket, videoWire(stream_.video.size()));
    ASSERT_FALSE(receiver_.waitForLine("status ").isEmpty());
    EXPECT_EQ(videoSocket->state(), QAbstractSocket::ConnectedState);
    closeAndWait(*audioSocket);  // the sender's end of the cast
    const QMap<QString, QString> fields = fieldsOf(receiver_.waitForLine("cast-summary "));
    EXPECT_EQ(fields["video_frames"], "2");
    EXPECT_EQ(fields["errors"], "0");
    EXPECT_EQ(receiver_.terminate(), 0);
}

TEST_F(ReceiverProgram, AVideoConnectionThatIsNoLongerReadPushesBackOnTheSender)
{
    ASSERT_TRUE(
        receiver_.start(receiverArguments({"--answer", "accept", "--stop-reading-after", "1"})));
    auto videoSocket = connectFrom("127.0.0.1", kVideoPort);
    ASSERT_TRUE(videoSocket);
    // Far more than loopback socket buffers and the receiver's own buffer can hold.
    Bytes payload = {0, 0, 0, 1, 0x41};
    payload.resize(1024 * 1024, 0x5A);
    const Bytes frame = mediaFrame(payload, 1);
    for (int i = 0; i < 48; ++i)
        videoSocket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
    while (videoSocket->waitForBytesWritten(1000)) {
    }
    EXPECT_GT(videoSocket->bytesToWrite(), 0);
    EXPECT_EQ(videoSocket->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(receiver_.terminate(), 0);
    EXPECT_EQ(fieldsOf(receiver_.waitForLine("cast-summary "))["video_frames"], "1");
}

TEST_F(ReceiverProgram, AnnouncesByUnicastAndWithdrawsOnSigterm)
{
    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(QHostAddress("127.0.0.1"), 0));
    const QString target = QString("127.0.0.1:%1").arg(listener.localPort());
    ASSERT_TRUE(receiver_.start({"--bind", kReceiverAddress, "--announce-to", target, "--code",
                                 "123456", "--name", "Living room"}));
    ASSERT_TRUE(listener.waitForReadyRead(5000));
    QByteArray datagram(int(listener.pendingDatagramSize()), 0);
    QHostAddress source;
    listener.readDatagram(datagram.data(), datagram.size(), &source);
    EXPECT_EQ(datagram, "#:#castcode#:#123456#:#Living room#:#linux#:#false#:#1#:#1");
    EXPECT_EQ(source.toString(), kReceiverAddress);

    EXPECT_EQ(receiver_.terminate(), 0);
    QByteArray last;
    while (listener.hasPendingDatagrams() || listener.waitForReadyRead(2000)) {
        last.resize(int(listener.pendingDatagramSize()));
        listener.readDatagram(last.data(), last.size());
    }
    EXPECT_EQ(last, "#:#castcode#:#123456#:#Living room#:#linux#:#false#:#1#:#0");
}

TEST_F(ReceiverProgram, ExitCodesForTimeLimitUsageAndBind)
{
    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(QHostAddress("127.0.0.1"), 0));
    ASSERT_TRUE(receiver_.start({"--bind", kReceiverAddress, "--seconds", "1", "--announce-to",
                                 QString("127.0.0.1:%1").arg(listener.localPort())}));
    EXPECT_EQ(receiver_.waitForExit(), 0);
    QByteArray last;
    while (listener.hasPendingDatagrams()) {
        last.resize(int(listener.pendingDatagramSize()));
        listener.readDatagram(last.data(), last.size());
    }
    EXPECT_TRUE(last.endsWith("#:#0")) << last.toStdString();

    for (const QStringList& bad :
         {QStringList{"--code", "12345"}, QStringList{"--code", "12345a"},
          QStringList{"--answer", "maybe"}, QStringList{"--record", "out.avi"},
          QStringList{"--bind", "x"}}) {
        QProcess process;
        process.start(VANTOR_RECEIVER_BINARY, bad + QStringList{"--no-announce"});
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 64) << bad.join(' ').toStdString();
    }

    ReceiverProcess holder;
    ASSERT_TRUE(holder.start(receiverArguments({"--answer", "accept"})));
    QProcess second;
    second.start(VANTOR_RECEIVER_BINARY, receiverArguments({"--answer", "accept"}));
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(holder.terminate(), 0);
}

}  // namespace
}  // namespace vantor::receiver::test

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
