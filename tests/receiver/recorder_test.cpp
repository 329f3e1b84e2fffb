// Remuxing a real encoded stream, checked by demuxing and decoding the file.
#include "tools/vantor-receiver/recorder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "tests/receiver/testmedia.h"
#include "tools/vantor-receiver/receiveroptions.h"

namespace vantor::receiver::test {
namespace {

class RecorderTest : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() { stream_ = encodeTestStream(12, 20); }
    static TestStream stream_;
    QTemporaryDir dir_;
};
TestStream RecorderTest::stream_;

TEST_P(RecorderTest, WritesAFileThatDecodes)
{
    ASSERT_FALSE(stream_.video.empty());
    ASSERT_FALSE(stream_.audio.empty());
    const std::string path = dir_.filePath(QString("cast.") + GetParam()).toStdString();
    Recorder recorder(path);
    // Audio comes first, as it may when the two connections race.
    for (const TimedPacket& p : stream_.audio)
        recorder.addAudio(p.data.data(), p.data.size(), p.timestamp);
    for (const TimedPacket& p : stream_.video)
        recorder.addVideo(p.data.data(), p.data.size(), p.timestamp);
    ASSERT_TRUE(recorder.finish()) << recorder.error();
    EXPECT_EQ(recorder.videoPacketsWritten(), int64_t(stream_.video.size()));
    EXPECT_EQ(recorder.audioPacketsWritten(), int64_t(stream_.audio.size()));

    const MediaFileCounts counts = inspectMediaFile(path);
    ASSERT_TRUE(counts.opened);
    EXPECT_EQ(counts.videoPackets, int(stream_.video.size()));
    EXPECT_EQ(counts.decodedVideoFrames, int(stream_.video.size()));
    EXPECT_EQ(counts.audioPackets, int(stream_.audio.size()));
    EXPECT_EQ(counts.width, 64);
    EXPECT_EQ(counts.height, 64);
    EXPECT_EQ(counts.sampleRate, 48000);
    EXPECT_EQ(counts.channels, 2);
}

TEST_P(RecorderTest, VideoBeforeTheParameterSetsIsLeftOutAndAudioAloneStillRecords)
{
    const std::string path = dir_.filePath(QString("late.") + GetParam()).toStdString();
    Recorder recorder(path);
    // A frame without SPS/PPS cannot start a file.
    recorder.addVideo(stream_.video[1].data.data(), stream_.video[1].data.size(), 10);
    recorder.endVideo();
    for (const TimedPacket& p : stream_.audio)
        recorder.addAudio(p.data.data(), p.data.size(), p.timestamp);
    recorder.endAudio();
    ASSERT_TRUE(recorder.finish()) << recorder.error();
    EXPECT_EQ(recorder.videoPacketsWritten(), 0);
    const MediaFileCounts counts = inspectMediaFile(path);
    EXPECT_TRUE(counts.opened);
    EXPECT_EQ(counts.audioPackets, int(stream_.audio.size()));
    EXPECT_EQ(counts.videoPackets, 0);
}

TEST_P(RecorderTest, NothingRecordableMeansNoFile)
{
    const QString path = dir_.filePath(QString("empty.") + GetParam());
    Recorder recorder(path.toStdString());
    EXPECT_FALSE(recorder.finish());
    EXPECT_FALSE(recorder.error().empty());
    EXPECT_FALSE(QFile::exists(path));
}

INSTANTIATE_TEST_SUITE_P(Containers, RecorderTest, ::testing::Values("mkv", "mp4"));

TEST(RecordingPath, LaterCastsGetANumberBeforeTheExtension)
{
    EXPECT_EQ(recordingPathForCast("/tmp/out.mkv", 1), "/tmp/out.mkv");
    EXPECT_EQ(recordingPathForCast("/tmp/out.mkv", 2), "/tmp/out-2.mkv");
    EXPECT_EQ(recordingPathForCast("rec/a.b.mp4", 3), "rec/a.b-3.mp4");
    EXPECT_EQ(recordingPathForCast("/tmp.d/out", 2), "/tmp.d/out-2");
}

}  // namespace
}  // namespace vantor::receiver::test
