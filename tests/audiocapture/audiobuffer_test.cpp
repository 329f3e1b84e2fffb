// The buffer between the capture's thread and the audio loop, driven through the
// capture's write step as a device delivers (stereo 16-bit, 4 bytes a frame).
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "libcapture/desktopsharing/audiocapture.h"
#include "libcapture/desktopsharing/testsources/nullaudiorenderer.h"
#include "libcapture/desktopsharing/testsources/testtonecapture.h"

namespace {

AudioFormat stereo16(int rate = 48000) { return AudioFormat{2, rate, 16, 4}; }

// Frames whose bytes count up, so that order and position can be checked.
std::vector<uint8_t> countingFrames(uint32_t frames, uint8_t first = 0)
{
    std::vector<uint8_t> bytes(frames * 4);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class AudioBufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(capture.initWithDevices(20480, std::make_unique<TestToneCapture>(),
                                          std::make_unique<NullAudioRenderer>(),
                                          AudioSourceKind::TestTone),
                  0);
    }
    void deliver(const std::vector<uint8_t>& bytes, int rate = 48000)
    {
        AudioFormat format = stereo16(rate);
        capture.write(&format, bytes.data(), static_cast<uint32_t>(bytes.size() / 4));
    }
    AudioCapture capture;
};

}  // namespace

TEST_F(AudioBufferTest, KeepsWhatFitsAndDropsTheNewestWhenFull)
{
    deliver(countingFrames(6000));
    EXPECT_EQ(capture.buffer()->unreadBytes(), 20480u) << "3520 of 24000 bytes must be dropped";
    EXPECT_EQ(capture.availableFrames(), 5120);

    std::vector<uint8_t> all(20480);
    ASSERT_EQ(capture.read(all.data(), 5120), 5120);
    std::vector<uint8_t> expected = countingFrames(5120);
    EXPECT_EQ(all, expected) << "the oldest bytes are kept, in order";

    // A full buffer takes nothing more until it is read.
    deliver(countingFrames(6000));
    deliver(countingFrames(10));
    EXPECT_EQ(capture.buffer()->unreadBytes(), 20480u);
}

TEST_F(AudioBufferTest, ShortReadReturnsZeroAndChangesNothing)
{
    deliver(countingFrames(1023));
    ASSERT_EQ(capture.buffer()->unreadBytes(), 4092u);
    std::vector<uint8_t> destination(4096, 0xAB);
    EXPECT_EQ(capture.read(destination.data(), 1024), 0);
    EXPECT_EQ(capture.buffer()->readPosition(), 0u);
    EXPECT_EQ(capture.buffer()->writePosition(), 4092u);
    EXPECT_EQ(destination, std::vector<uint8_t>(4096, 0xAB)) << "nothing may be copied";
    EXPECT_EQ(capture.read(destination.data(), 1023), 1023);
}

TEST_F(AudioBufferTest, ReadingEverythingResetsBothOffsets)
{
    deliver(countingFrames(2048));
    std::vector<uint8_t> destination(8192);
    ASSERT_EQ(capture.read(destination.data(), 1024), 1024);
    ASSERT_EQ(capture.read(destination.data(), 1024), 1024);
    EXPECT_EQ(capture.buffer()->readPosition(), 0u);
    EXPECT_EQ(capture.buffer()->writePosition(), 0u);
    EXPECT_EQ(capture.availableFrames(), 0);
}

TEST_F(AudioBufferTest, PartialReadsCompactToTheStartAndKeepOrder)
{
    deliver(countingFrames(1500));
    std::vector<uint8_t> first(4096);
    ASSERT_EQ(capture.read(first.data(), 1024), 1024);
    EXPECT_EQ(capture.buffer()->readPosition(), 0u) << "unread bytes move to offset 0";
    EXPECT_EQ(capture.buffer()->writePosition(), 476u * 4);

    deliver(countingFrames(1000, 0));
    ASSERT_EQ(capture.availableFrames(), 1476);
    std::vector<uint8_t> rest(1476 * 4);
    ASSERT_EQ(capture.read(rest.data(), 1476), 1476);
    std::vector<uint8_t> delivered = countingFrames(1500);
    std::vector<uint8_t> expected(delivered.begin() + 4096, delivered.end());
    std::vector<uint8_t> second = countingFrames(1000, 0);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(rest, expected);
}

TEST(AudioBufferDirect, RejectsReadsLargerThanWhatIsBuffered)
{
    AudioBuffer buffer(16);
    const uint8_t bytes[20] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                               11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    EXPECT_EQ(buffer.write(bytes, 20), 16u);
    EXPECT_EQ(buffer.write(bytes, 1), 0u);
    uint8_t out[17] = {};
    EXPECT_FALSE(buffer.read(out, 17));
    EXPECT_TRUE(buffer.read(out, 16));
    EXPECT_EQ(out[15], 16);
}
