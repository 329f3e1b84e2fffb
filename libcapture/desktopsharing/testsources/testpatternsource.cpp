#include "libcapture/desktopsharing/testsources/testpatternsource.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "libcapture/desktopsharing/testsources/framecapturelog.h"
#include "libcapture/framepool/framepool.h"

namespace {

struct Color {
    uint8_t b, g, r;
};

void fillRect(uint8_t* bgra, int width, int height, int x0, int y0, int w, int h, Color c)
{
    int x1 = std::min(width, x0 + w), y1 = std::min(height, y0 + h);
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    for (int y = y0; y < y1; ++y) {
        uint8_t* p = bgra + (static_cast<size_t>(y) * width + x0) * 4;
        for (int x = x0; x < x1; ++x, p += 4) {
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = 255;
        }
    }
}

// A program window: border, title bar with its three buttons, and a light client
// area with a few lines of "text".
void drawWindow(uint8_t* bgra, int width, int height, int x, int y, int w, int h, Color title)
{
    const int bar = std::max(12, h / 12);
    fillRect(bgra, width, height, x - 1, y - 1, w + 2, h + 2, {60, 60, 60});
    fillRect(bgra, width, height, x, y, w, bar, title);
    for (int i = 1; i <= 3; ++i)
        fillRect(bgra, width, height, x + w - i * (bar + 2), y + 3, bar - 6, bar - 6,
                 {230, 230, 230});
    fillRect(bgra, width, height, x, y + bar, w, h - bar, {245, 245, 245});
    const int line = std::max(4, bar / 2);
    for (int row = 0; y + bar + (row + 2) * line * 2 < y + h; ++row) {
        int length = (w - 4 * line) * (3 + (row * 7) % 5) / 8;
        fillRect(bgra, width, height, x + 2 * line, y + bar + (row + 1) * line * 2, length, line,
                 {90, 90, 90});
    }
}

}  // namespace

TestPatternSource::TestPatternSource(int width, int height, int fps)
    : width_(width > 0 && height > 0 ? width : kDefaultWidth),
      height_(width > 0 && height > 0 ? height : kDefaultHeight),
      fps_(fps > 0 ? fps : kDefaultFps),
      pool_(FramePool::create(6))
{
}

TestPatternSource::~TestPatternSource() { stop(); }

std::vector<uint8_t> TestPatternSource::makeBackground(int width, int height)
{
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 4);
    uint8_t* p = picture.data();
    // A calm vertical gradient as wallpaper.
    for (int y = 0; y < height; ++y) {
        uint8_t shade = static_cast<uint8_t>(90 + 80 * y / std::max(1, height));
        fillRect(p, width, height, 0, y, width, 1,
                 {shade, static_cast<uint8_t>(shade / 2 + 40), 30});
    }
    const int taskbar = std::max(16, height / 27);
    fillRect(p, width, height, 0, height - taskbar, width, taskbar, {40, 32, 32});
    fillRect(p, width, height, 4, height - taskbar + 4, taskbar * 2, taskbar - 8, {200, 120, 0});
    drawWindow(p, width, height, width / 12, height / 6, width / 3, height / 2, {160, 90, 20});
    drawWindow(p, width, height, width / 2, height / 8, width * 2 / 5, height * 3 / 5,
               {40, 120, 40});
    drawWindow(p, width, height, width / 3, height / 2, width / 4, height / 3, {30, 30, 160});
    return picture;
}

namespace {

// Where the parts that change from frame to frame are drawn.
struct MovingParts {
    int windowX, windowY, windowW, windowH;
    int caretX, caretY, caretH;
    int codeRows;  // rows from the top that hold the frame-number code
};

MovingParts movingParts(int width, int height, uint64_t frameNumber)
{
    MovingParts parts;
    parts.windowW = std::max(32, width / 8);
    parts.windowH = std::max(24, height / 8);
    const int travel = std::max(1, width - parts.windowW);
    int x = static_cast<int>((frameNumber * 6) % (2 * travel));
    parts.windowX = x >= travel ? 2 * travel - x : x;
    parts.windowY = height * 3 / 4 - parts.windowH / 2;
    parts.caretX = width / 12 + 20;
    parts.caretY = height / 6 + height / 12;
    parts.caretH = std::max(8, height / 40);
    parts.codeRows = 2 * FrameNumberCode::blockSize(width);
    return parts;
}

void copyRows(uint8_t* bgra, const std::vector<uint8_t>& background, int width, int height,
              int firstRow, int rows)
{
    int begin = std::clamp(firstRow, 0, height), end = std::clamp(firstRow + rows, 0, height);
    size_t stride = size_t(width) * 4;
    if (end > begin)
        std::memcpy(bgra + begin * stride, background.data() + begin * stride,
                    (end - begin) * stride);
}

void drawMovingParts(uint8_t* bgra, int width, int height, uint64_t frameNumber)
{
    // A small window gliding along, as if dragged, and a blinking caret.
    MovingParts parts = movingParts(width, height, frameNumber);
    drawWindow(bgra, width, height, parts.windowX, parts.windowY, parts.windowW, parts.windowH,
               {0, 140, 220});
    if ((frameNumber / 15) % 2 == 0)
        fillRect(bgra, width, height, parts.caretX, parts.caretY, 3, parts.caretH, {0, 0, 0});
    FrameNumberCode::draw(bgra, width, height, static_cast<uint32_t>(frameNumber));
}

}  // namespace

void TestPatternSource::drawFrame(uint8_t* bgra, int width, int height, uint64_t frameNumber,
                                  const std::vector<uint8_t>& background)
{
    std::memcpy(bgra, background.data(), std::min(background.size(), size_t(width) * height * 4));
    drawMovingParts(bgra, width, height, frameNumber);
}

void TestPatternSource::redrawFrame(uint8_t* bgra, uint64_t previousNumber, uint64_t frameNumber)
{
    // Only the rows the moving parts of the picture in this buffer touched are
    // restored: a full 1080p copy per frame would cost more than the encoder.
    MovingParts old = movingParts(width_, height_, previousNumber);
    copyRows(bgra, background_, width_, height_, old.windowY - 1, old.windowH + 2);
    copyRows(bgra, background_, width_, height_, old.caretY, old.caretH);
    copyRows(bgra, background_, width_, height_, 0, old.codeRows);
    drawMovingParts(bgra, width_, height_, frameNumber);
}

int TestPatternSource::init(int, int, WindowRecord)
{
    if (!initialized_) background_ = makeBackground(width_, height_);
    initialized_ = true;
    return 0;
}

int TestPatternSource::start()
{
    if (!initialized_) return -1;
    if (started_) return 0;
    produceFrame();  // a screen capture has a picture right after it starts
    started_ = true;
    thread_ = std::thread(&TestPatternSource::run, this);
    return 0;
}

int TestPatternSource::stop()
{
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        started_ = false;
    }
    wake_.notify_all();
    answered_.notify_all();
    if (thread_.joinable()) thread_.join();
    return 0;
}

int TestPatternSource::exit()
{
    stop();
    std::lock_guard<std::mutex> lock(frameMutex_);
    latest_.reset();
    latestWidth_ = latestHeight_ = 0;
    return 0;
}

int TestPatternSource::frameWidth() const
{
    std::lock_guard<std::mutex> lock(frameMutex_);
    return latestWidth_;
}

int TestPatternSource::frameHeight() const
{
    std::lock_guard<std::mutex> lock(frameMutex_);
    return latestHeight_;
}

size_t TestPatternSource::bufferAllocations() const { return pool_->allocations(); }

bool TestPatternSource::sourceSize(int& width, int& height) const
{
    width = width_;
    height = height_;
    return true;
}

int TestPatternSource::getFrame(std::shared_ptr<uint8_t>& frame, int& size, int& width, int& height,
                                int64_t& capturedNs)
{
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!latest_ || latest_ == frame) return -1;
    frame = latest_;
    size = latestWidth_ * latestHeight_ * 4;
    width = latestWidth_;
    height = latestHeight_;
    capturedNs = latestCapturedNs_;
    return 0;
}

void TestPatternSource::produceFrame()
{
    // The moment the picture is "on the screen": drawing it stands for the capture.
    const int64_t capturedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
    FrameCaptureLog::note(framesProduced_, capturedNs);
    std::shared_ptr<uint8_t> buffer = pool_->acquire(static_cast<size_t>(width_) * height_ * 4);
    const uint64_t number = framesProduced_;
    // A buffer the pool hands back again still holds the picture we drew into
    // it; a new allocation may sit at a freed one's address, so any new
    // allocation forgets what we knew.
    if (pool_->allocations() != knownAllocations_) {
        drawnInto_.clear();
        knownAllocations_ = pool_->allocations();
    }
    auto drawn = drawnInto_.find(buffer.get());
    if (drawn != drawnInto_.end())
        redrawFrame(buffer.get(), drawn->second, number);
    else
        drawFrame(buffer.get(), width_, height_, number, background_);
    drawnInto_[buffer.get()] = number;

    std::lock_guard<std::mutex> lock(frameMutex_);
    latest_ = std::move(buffer);
    latestWidth_ = width_;
    latestHeight_ = height_;
    latestCapturedNs_ = capturedNs;
    ++framesProduced_;
}

void TestPatternSource::prepareFrame(std::chrono::steady_clock::time_point at)
{
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        preparedAsk_ = ++askSerial_;
        askedBy_ = at;
        lastAskAt_ = std::chrono::steady_clock::now();
    }
    wake_.notify_all();
}

void TestPatternSource::awaitPreparedFrame(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(runMutex_);
    answered_.wait_until(lock, deadline,
                         [this] { return answeredSerial_ >= preparedAsk_ || !started_; });
}

uint64_t TestPatternSource::waitForTurn(std::unique_lock<std::mutex>& lock,
                                        std::chrono::steady_clock::time_point ownTurn,
                                        uint64_t answered)
{
    // Like the screen capture: a picture asked for is started as long before it is
    // taken as pictures take to make, and the source's own rate rests while asks
    // keep coming.
    constexpr auto kMargin = std::chrono::milliseconds(1);
    constexpr auto kAsksHoldOff = std::chrono::milliseconds(500);
    while (started_) {
        const auto now = std::chrono::steady_clock::now();
        const bool asked = askSerial_ > answered;
        const auto askedStart = askedBy_ - drawTime_ - kMargin;
        if (asked && now >= askedStart) return askSerial_;
        auto due = ownTurn;
        if (askSerial_ > 0) due = std::max(due, lastAskAt_ + kAsksHoldOff);
        if (now >= due) return 0;
        wake_.wait_until(lock, asked ? std::min(due, askedStart) : due);
    }
    return 0;
}

void TestPatternSource::run()
{
    const auto period = std::chrono::nanoseconds(1000000000LL / fps_);
    auto next = std::chrono::steady_clock::now() + period;
    uint64_t answered = 0;
    std::unique_lock<std::mutex> lock(runMutex_);
    while (started_) {
        const uint64_t answering = waitForTurn(lock, next, answered);
        if (!started_) break;
        lock.unlock();
        const auto drawStart = std::chrono::steady_clock::now();
        if (!frozen_) produceFrame();
        ++ticks_;
        const auto took = std::chrono::steady_clock::now() - drawStart;
        drawTime_ += took > drawTime_ ? (took - drawTime_) / 2 : -(drawTime_ - took) / 8;
        lock.lock();
        if (answering != 0) {
            answered = answering;
            answeredSerial_ = answering;
            answered_.notify_all();
            continue;
        }
        next += period;
        // After a long stall start afresh instead of producing a burst.
        auto now = std::chrono::steady_clock::now();
        if (next < now - period) next = now + period;
    }
}
