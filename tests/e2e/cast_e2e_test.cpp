// vantor-cast send against vantor-receiver peers on 127.0.0.2..4 that record what
// they get; the recordings are decoded and checked like a viewer would see them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "tests/e2e/recordinganalysis.h"
#include "tests/pipeline/streamcadence.h"
#include "tests/session/receiverprocess.h"

namespace {

struct CastRun {
    int exitCode = -1;
    QStringList lines;
    QString lineFor(const QString& address) const
    {
        for (const QString& line : lines)
            if (line.startsWith("receiver=" + address + " ")) return line;
        return {};
    }
};

CastRun runCast(const QStringList& arguments, const QString& configDir)
{
    QProcess cast;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", configDir);
    cast.setProcessEnvironment(environment);
    cast.setStandardErrorFile(QProcess::nullDevice());
    cast.start(castProgram(), QStringList{"send"} + arguments);
    CastRun run;
    if (!cast.waitForFinished(60000)) {
        cast.kill();
        cast.waitForFinished();
        return run;
    }
    run.exitCode = cast.exitCode();
    run.lines = QString::fromUtf8(cast.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return run;
}

// What every receiver's recording must show, paced at `fps` by the stream's own
// timestamps. A late joiner starts with the first key frame of the run (sent when
// it joined, long after its time) while the frames after it refer to pictures it
// never got; its picture is whole again from the next key frame on, so its order
// is judged from there (lateJoiner).
void expectWatchable(const QString& recording, int width, int height, int fps,
                     bool lateJoiner = false)
{
    SCOPED_TRACE(recording.toStdString());
    const RecordingAnalysis a = analyseRecording(recording.toStdString());
    ASSERT_TRUE(a.opened);
    EXPECT_EQ(a.width, width);
    EXPECT_EQ(a.height, height);
    if (!lateJoiner)
        EXPECT_EQ(size_t(a.videoFrames), a.videoTimestamps.size()) << "every packet decodes";
    ASSERT_GE(a.videoTimestamps.size(), 10u);
    const std::vector<int64_t> live(a.videoTimestamps.begin() + (lateJoiner ? 1 : 0),
                                    a.videoTimestamps.end());
    EXPECT_TRUE(streamcadence::pacedAt(live, fps));
    ASSERT_FALSE(a.keyFrames.empty());
    EXPECT_EQ(a.keyFrames.front(), 0) << "the stream starts with a key frame";
    size_t from = 0;
    if (lateJoiner) {
        ASSERT_GE(a.keyFrames.size(), 2u);
        from = a.keyFrames[1];
    }
    int64_t previous = -1;
    int legible = 0;
    for (size_t i = from; i < a.frameNumbers.size(); ++i) {
        const int64_t number = a.frameNumbers[i];
        if (number < 0) continue;
        ++legible;
        EXPECT_GT(number, previous);
        previous = number;
    }
    EXPECT_GE(legible, int(a.frameNumbers.size() - from) * 9 / 10);
    EXPECT_EQ(a.audioChannels, 2);
    EXPECT_EQ(a.audioRate, 48000);
    EXPECT_TRUE(streamcadence::advancesByFrameDuration(a.audioTimestamps, 48000));
    // Enough sound to judge the tone past the encoder's start-up (half a second).
    EXPECT_GE(a.audioSeconds, 1.0);
    EXPECT_GT(a.toneShare, 0.8) << "1 kHz should dominate";
}

void expectCleanStart(const QString& summary)
{
    ASSERT_FALSE(summary.isEmpty());
    EXPECT_EQ(ReceiverProcess::field(summary, "first_video_sps"), 1) << summary.toStdString();
    EXPECT_EQ(ReceiverProcess::field(summary, "first_video_pps"), 1);
    EXPECT_EQ(ReceiverProcess::field(summary, "first_video_idr"), 1);
    EXPECT_EQ(ReceiverProcess::field(summary, "channels"), 2);
    EXPECT_EQ(ReceiverProcess::field(summary, "rate"), 48000);
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
}

}  // namespace

TEST(CastEndToEnd, OneReceiverGetsAWatchableRecording)
{
    QTemporaryDir dir;
    const QString recording = dir.filePath("one.mkv");
    ReceiverProcess receiver("127.0.0.2", {"--answer", "accept", "--record", recording});
    ASSERT_TRUE(receiver.waitUntilListening());
    const CastRun run = runCast({"--to", "127.0.0.2", "--seconds", "3", "--source", "test",
                                 "--audio", "test", "--fps", "25", "--resolution", "640"},
                                dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.lines.join('\n').toStdString();
    const QString line = run.lineFor("127.0.0.2");
    EXPECT_TRUE(line.contains("answer=accept streamed=1")) << line.toStdString();
    EXPECT_TRUE(line.contains("video_dropped=0"));
    ASSERT_TRUE(run.lines.last().startsWith("encode frames="));
    expectCleanStart(receiver.waitForSummary());
    expectWatchable(recording, 640, 480, 25);
}

// Three receivers from one capture; the third accepts a second late and must
// still start with parameter sets and a key frame.
TEST(CastEndToEnd, ThreeReceiversOneOfThemLate)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<ReceiverProcess>> receivers;
    const QStringList addresses = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
    for (const QString& address : addresses) {
        QStringList arguments = {"--answer", "accept", "--record", dir.filePath(address + ".mkv")};
        if (address == "127.0.0.4")
            arguments << "--answer-delay-ms"
                      << "1000";
        receivers.push_back(std::make_unique<ReceiverProcess>(address, arguments));
        ASSERT_TRUE(receivers.back()->waitUntilListening());
    }
    const CastRun run =
        runCast({"--to", "127.0.0.2", "--to", "127.0.0.3", "--to", "127.0.0.4", "--seconds", "3",
                 "--source", "test", "--fps", "20", "--resolution", "1280", "--bitrate", "6"},
                dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.lines.join('\n').toStdString();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(addresses[i].toStdString());
        EXPECT_TRUE(run.lineFor(addresses[i]).contains("answer=accept streamed=1"));
        expectCleanStart(receivers[i]->waitForSummary());
    }
    expectWatchable(dir.filePath("127.0.0.2.mkv"), 1280, 720, 20);
    expectWatchable(dir.filePath("127.0.0.3.mkv"), 1280, 720, 20);
    expectWatchable(dir.filePath("127.0.0.4.mkv"), 1280, 720, 20, true);
    // The late one starts with the run's very first picture (the header packet),
    // not with the picture that happened to be current when it joined.
    const auto early = analyseRecording(dir.filePath("127.0.0.2.mkv").toStdString());
    const auto late = analyseRecording(dir.filePath("127.0.0.4.mkv").toStdString());
    ASSERT_FALSE(early.frameNumbers.empty());
    ASSERT_GE(late.keyFrames.size(), 2u);
    EXPECT_EQ(late.frameNumbers.front(), early.frameNumbers.front());
    EXPECT_GT(late.frameNumbers[late.keyFrames[1]], early.frameNumbers.front() + 10);
}

// Refused, busy and unreachable receivers are reported; the one that accepts is
// served all the same, and the exit code tells that not everyone was.
TEST(CastEndToEnd, RefusedBusyAndUnreachableReceiversDoNotStopTheOthers)
{
    QTemporaryDir dir;
    ReceiverProcess refusing("127.0.0.41", {"--answer", "refuse"});
    ReceiverProcess busy("127.0.0.42", {"--answer", "busy"});
    ReceiverProcess accepting("127.0.0.44", {"--answer", "accept"});
    for (ReceiverProcess* r : {&refusing, &busy, &accepting}) ASSERT_TRUE(r->waitUntilListening());
    const CastRun run = runCast(
        {"--to", "127.0.0.41", "--to", "127.0.0.42", "--to", "127.0.0.49", "--to", "127.0.0.44",
         "--seconds", "2", "--source", "test", "--audio", "none", "--resolution", "640"},
        dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.lineFor("127.0.0.41").contains("answer=refuse streamed=0"));
    EXPECT_TRUE(run.lineFor("127.0.0.42").contains("answer=busy streamed=0"));
    EXPECT_TRUE(run.lineFor("127.0.0.49").contains("answer=unreachable streamed=0"));
    EXPECT_TRUE(run.lineFor("127.0.0.44").contains("answer=accept streamed=1"))
        << run.lines.join('\n').toStdString();
    const QString summary = accepting.waitForSummary();
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
    EXPECT_EQ(ReceiverProcess::field(summary, "first_video_idr"), 1);
    EXPECT_GT(ReceiverProcess::field(summary, "video_frames"), 1);
}

// Options not given come from cfg.ini's cast group, as in a cast from the GUI;
// options given win over the file.
TEST(CastEndToEnd, QualityComesFromCfgIniUnlessGiven)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("vantor"));
    QSettings ini(dir.filePath("vantor/cfg.ini"), QSettings::IniFormat);
    ini.setValue("castCfg/castMode", "0");
    ini.setValue("castCfg/bitRate", "0");
    ini.setValue("castCfg/frameRate", "0");   // 20 fps
    ini.setValue("castCfg/resolution", "0");  // 640 x 480
    ini.sync();

    for (const QString& width : {QString(), QString("1280")}) {
        SCOPED_TRACE(width.isEmpty() ? "from cfg.ini" : "--resolution 1280");
        const QString recording = dir.filePath(QString("quality%1.mkv").arg(width));
        ReceiverProcess receiver("127.0.0.45", {"--answer", "accept", "--record", recording});
        ASSERT_TRUE(receiver.waitUntilListening());
        QStringList arguments = {"--to",     "127.0.0.45", "--seconds", "2",
                                 "--source", "test",       "--audio",   "none"};
        if (!width.isEmpty()) arguments << "--resolution" << width;
        const CastRun run = runCast(arguments, dir.path());
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_FALSE(receiver.waitForSummary().isEmpty());
        const RecordingAnalysis a = analyseRecording(recording.toStdString());
        EXPECT_EQ(a.width, width.isEmpty() ? 640 : 1280);
        EXPECT_EQ(a.height, width.isEmpty() ? 480 : 720);
        EXPECT_TRUE(streamcadence::pacedAt(a.videoTimestamps, 20));  // frameRate 0: 20 fps
    }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
