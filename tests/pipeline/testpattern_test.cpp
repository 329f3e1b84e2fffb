// The synthetic screen: its picture, its frame-number code and its frame delivery.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "libcapture/desktopsharing/testsources/testpatternsource.h"

namespace {

// Waits until the source's thread has woken `count` more times.
bool ticksGoBy(const TestPatternSource& source, uint64_t count)
{
    const uint64_t from = source.ticks();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (source.ticks() < from + count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace

TEST(FrameNumberCode, ReadsBackWhatWasDrawnAtSeveralSizes)
{
    for (auto size : {std::make_pair(1920, 1080), std::make_pair(640, 480),
                      std::make_pair(1280, 720), std::make_pair(3840, 2160)}) {
        int w = size.first, h = size.second;
        std::vector<uint8_t> background = TestPatternSource::makeBackground(w, h);
        std::vector<uint8_t> picture(background.size());
        for (uint64_t number : {0ull, 1ull, 12345ull, 0xFFFFFFFFull, 0x80000001ull}) {
            TestPatternSource::drawFrame(picture.data(), w, h, number, background);
            EXPECT_EQ(decodeFrameNumber(picture.data(), w, h, w * 4, 4), int64_t(number))
                << w << "x" << h;
        }
    }
}

TEST(FrameNumberCode, AnIllegibleCodeReadsAsMinusOne)
{
    const int w = 640, h = 480;
    std::vector<uint8_t> grey(w * h * 4, 128);
    EXPECT_EQ(decodeFrameNumber(grey.data(), w, h, w * 4, 4), -1);
    std::vector<uint8_t> narrow(256 * 64 * 4, 255);
    EXPECT_EQ(decodeFrameNumber(narrow.data(), 256, 64, 256 * 4, 4), -1) << "too narrow";
    EXPECT_EQ(decodeFrameNumber(nullptr, w, h, w * 4, 4), -1);
}

TEST(TestPatternSource, PictureMovesAndDiffersFromFrameToFrame)
{
    const int w = 640, h = 480;
    std::vector<uint8_t> background = TestPatternSource::makeBackground(w, h);
    std::vector<uint8_t> a(background.size()), b(background.size());
    TestPatternSource::drawFrame(a.data(), w, h, 10, background);
    TestPatternSource::drawFrame(b.data(), w, h, 11, background);
    // Outside the code rows the moving window still changes the picture.
    const size_t codeBytes = size_t(FrameNumberCode::blockSize(w)) * 2 * w * 4;
    EXPECT_FALSE(std::equal(a.begin() + codeBytes, a.end(), b.begin() + codeBytes));
    // Deterministic: the same number gives the same picture.
    std::vector<uint8_t> again(background.size());
    TestPatternSource::drawFrame(again.data(), w, h, 10, background);
    EXPECT_EQ(a, again);
}

TEST(TestPatternSource, DeliversNewFramesInItsOwnSizeAndOnlyNewOnes)
{
    TestPatternSource source(640, 360, 60);
    int w = 0, h = 0;
    ASSERT_TRUE(source.sourceSize(w, h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(source.start(), -1) << "start before init";
    ASSERT_EQ(source.init(0, 0, WindowRecord{}), 0);
    EXPECT_EQ(source.frameWidth(), 0) << "no frame before start";
    ASSERT_EQ(source.start(), 0);
    EXPECT_TRUE(source.isStarted());

    std::shared_ptr<uint8_t> frame;
    int size = 0, fw = 0, fh = 0;
    ASSERT_EQ(source.getFrame(frame, size, fw, fh), 0) << "a frame right after start";
    EXPECT_EQ(size, 640 * 360 * 4);
    EXPECT_EQ(fw, 640);
    EXPECT_EQ(fh, 360);
    int64_t first = decodeFrameNumber(frame.get(), fw, fh, fw * 4, 4);
    EXPECT_GE(first, 0);

    // Frozen: once a picture that was being made has come out (two wake-ups),
    // further wake-ups make nothing new.
    source.setFrozen(true);
    ASSERT_TRUE(ticksGoBy(source, 2));
    std::shared_ptr<uint8_t> latest;
    source.getFrame(latest, size, fw, fh);
    ASSERT_TRUE(ticksGoBy(source, 3));
    EXPECT_EQ(source.getFrame(latest, size, fw, fh), -1) << "the held frame is not new";

    source.setFrozen(false);
    int64_t previous = decodeFrameNumber(latest.get(), fw, fh, fw * 4, 4);
    int newFrames = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<uint8_t> background = TestPatternSource::makeBackground(640, 360);
    std::vector<uint8_t> expected(background.size());
    while (newFrames < 20 && std::chrono::steady_clock::now() < deadline) {
        if (source.getFrame(latest, size, fw, fh) == 0) {
            int64_t number = decodeFrameNumber(latest.get(), fw, fh, fw * 4, 4);
            EXPECT_GT(number, previous);
            // Pooled buffers are redrawn only where the picture moves: the
            // result must equal a picture drawn from scratch.
            TestPatternSource::drawFrame(expected.data(), fw, fh, number, background);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), latest.get()))
                << "frame " << number;
            previous = number;
            ++newFrames;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(newFrames, 20);
    // The consumer holds one frame at a time: the pool serves the rest.
    EXPECT_LE(source.bufferAllocations(), 4u);
    EXPECT_EQ(source.stop(), 0);
    EXPECT_FALSE(source.isStarted());
    EXPECT_EQ(source.exit(), 0);
    EXPECT_EQ(source.getFrame(frame, size, fw, fh), -1) << "exit releases the picture";
}

// While the video loop asks for its frames, the source makes one picture per ask,
// ready when asked for, and rests its own 60 fps.
TEST(TestPatternSource, MakesOnePicturePerAskWhileAsked)
{
    using Clock = std::chrono::steady_clock;
    TestPatternSource source(640, 360, 60);
    ASSERT_EQ(source.init(0, 0, WindowRecord{}), 0);
    ASSERT_EQ(source.start(), 0);
    std::shared_ptr<uint8_t> frame;
    int size = 0, w = 0, h = 0;
    int64_t capturedNs = 0;
    source.prepareFrame(Clock::now());
    source.awaitPreparedFrame(Clock::now() + std::chrono::seconds(10));
    ASSERT_EQ(source.getFrame(frame, size, w, h, capturedNs), 0);

    const uint64_t ticks = source.ticks();
    for (int i = 0; i < 10; ++i) {
        source.prepareFrame(Clock::now() + std::chrono::milliseconds(20));
        source.awaitPreparedFrame(Clock::now() + std::chrono::seconds(10));
        const int64_t before = capturedNs;
        ASSERT_EQ(source.getFrame(frame, size, w, h, capturedNs), 0)
            << "a new picture for ask " << i;
        EXPECT_GT(capturedNs, before);
    }
    // (One of its own may slip in should an ask come later than its rest allows.)
    EXPECT_GE(source.ticks(), ticks + 10);
    EXPECT_LE(source.ticks(), ticks + 11);
    source.exit();
}

TEST(TestPatternSource, DefaultSizeIsFullHd)
{
    TestPatternSource source(0, 0);
    int w = 0, h = 0;
    ASSERT_TRUE(source.sourceSize(w, h));
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
}
