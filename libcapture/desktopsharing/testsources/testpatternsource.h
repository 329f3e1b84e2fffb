// A synthetic screen: a deterministic desktop-like picture (background, a few
// windows with title bars, a moving element) with the frame number drawn at the
// top left as blocks large enough to survive lossy H.264, so that a receiver can
// read it back from a decoded picture. Frames are made on the source's own thread,
// in pooled buffers, like a screen capture that sees a change: at a steady rate of
// its own, or, while the video loop asks for its frames, just before each is taken.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "libcapture/desktopsharing/framesource.h"

class FramePool;

class TestPatternSource : public FrameSource {
public:
    static constexpr int kDefaultWidth = 1920;
    static constexpr int kDefaultHeight = 1080;
    static constexpr int kDefaultFps = 60;

    // 0 x 0 takes the default size.
    explicit TestPatternSource(int width = kDefaultWidth, int height = kDefaultHeight,
                               int fps = kDefaultFps);
    ~TestPatternSource() override;

    int init(int unused, int captureMode, WindowRecord target) override;
    int start() override;
    int stop() override;
    int exit() override;
    bool isStarted() const override { return started_; }
    int frameWidth() const override;
    int frameHeight() const override;
    bool sourceSize(int& width, int& height) const override;
    using FrameSource::getFrame;
    int getFrame(std::shared_ptr<uint8_t>& frame, int& size, int& width, int& height,
                 int64_t& capturedNs) override;
    // Only the video loop's thread calls these two.
    void prepareFrame(std::chrono::steady_clock::time_point at) override;
    void awaitPreparedFrame(std::chrono::steady_clock::time_point deadline) override;

    // A frozen source keeps its last picture, as a still screen does.
    void setFrozen(bool frozen) { frozen_ = frozen; }
    uint64_t framesProduced() const { return framesProduced_; }
    // How often the source's thread has woken to make a picture, frozen or not: a
    // caller that sees it grow knows the wake-ups in between have passed.
    uint64_t ticks() const { return ticks_; }
    // Frame buffers allocated so far; stays put in the steady state.
    size_t bufferAllocations() const;

    // Draws picture number `frameNumber` into a BGRA buffer (stride width * 4).
    static void drawFrame(uint8_t* bgra, int width, int height, uint64_t frameNumber,
                          const std::vector<uint8_t>& background);
    static std::vector<uint8_t> makeBackground(int width, int height);

private:
    void run();
    // Under runMutex_: sleeps until the next picture is due and returns the ask it
    // answers (0: one of the source's own rate). `answered`: the latest answered.
    uint64_t waitForTurn(std::unique_lock<std::mutex>& lock,
                         std::chrono::steady_clock::time_point ownTurn, uint64_t answered);
    void produceFrame();
    void redrawFrame(uint8_t* bgra, uint64_t previousNumber, uint64_t frameNumber);

    const int width_;
    const int height_;
    const int fps_;
    std::vector<uint8_t> background_;
    std::shared_ptr<FramePool> pool_;
    // Producer thread only: which picture each pooled buffer last received.
    std::unordered_map<const uint8_t*, uint64_t> drawnInto_;
    size_t knownAllocations_ = 0;

    mutable std::mutex frameMutex_;
    std::shared_ptr<uint8_t> latest_;
    int latestWidth_ = 0;
    int latestHeight_ = 0;
    int64_t latestCapturedNs_ = 0;

    std::mutex runMutex_;
    std::condition_variable wake_;
    // The video loop's asks (prepareFrame), under runMutex_.
    uint64_t askSerial_ = 0;
    uint64_t answeredSerial_ = 0;
    std::chrono::steady_clock::time_point askedBy_;
    std::chrono::steady_clock::time_point lastAskAt_;
    std::condition_variable answered_;
    uint64_t preparedAsk_ = 0;  // the video loop's thread only
    // How long making a picture takes (the source's thread only).
    std::chrono::steady_clock::duration drawTime_ = std::chrono::milliseconds(1);
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> frozen_{false};
    std::atomic<uint64_t> framesProduced_{0};
    std::atomic<uint64_t> ticks_{0};
    bool initialized_ = false;
};

// The frame-number code: row one holds the 32 bits of the number (most
// significant first, white = 1) in square blocks, row two the same bits inverted.
namespace FrameNumberCode {
constexpr int kBits = 32;
// Block edge in pixels for a picture this wide (16 to 32, a multiple of 8).
int blockSize(int pictureWidth);
void draw(uint8_t* bgra, int width, int height, uint32_t number);
}  // namespace FrameNumberCode

// Reads the frame number back from a decoded picture: bytesPerPixel 4 for BGRA
// (green channel read), 1 for a luma plane. stride in bytes. -1 when the code is
// not legible (the two rows disagree).
int64_t decodeFrameNumber(const uint8_t* bgraOrLuma, int width, int height, int stride,
                          int bytesPerPixel);
