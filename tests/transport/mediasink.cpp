#include "tests/transport/mediasink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "src/transport/mediaframing.h"

namespace {
int listenOn(const std::string& address, int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // A small receive buffer makes a held-back reader stall the writer quickly.
    int receiveBuffer = 64 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 4) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}
}  // namespace

MediaSink::MediaSink(const std::string& address, bool listenAudio, bool startReading)
    : reading_(startReading)
{
    videoListen_ = listenOn(address, kVideoPort);
    if (listenAudio) audioListen_ = listenOn(address, kAudioPort);
    threads_[0] = std::thread([this] { readChannel(videoListen_, 0); });
    if (audioListen_ >= 0) threads_[1] = std::thread([this] { readChannel(audioListen_, 1); });
}

MediaSink::~MediaSink()
{
    quit_ = true;
    reading_ = true;
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    if (videoListen_ >= 0) close(videoListen_);
    if (audioListen_ >= 0) close(audioListen_);
}

void MediaSink::startReading() { reading_ = true; }

void MediaSink::setReadingAudio(bool reading) { readingAudio_ = reading; }

void MediaSink::readChannel(int listenFd, int channel)
{
    if (listenFd < 0) return;
    int fd = -1;
    while (!quit_ && fd < 0) {
        pollfd p{listenFd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) fd = accept(listenFd, nullptr, nullptr);
    }
    if (fd < 0) return;
    ++accepted_[channel];
    std::vector<uint8_t> buffer(64 * 1024);
    while (!quit_) {
        if (!reading_ || (channel == 1 && !readingAudio_ && !quit_)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        ssize_t n = read(fd, buffer.data(), buffer.size());
        std::lock_guard<std::mutex> lock(mutex_);
        if (n <= 0) {
            closed_[channel] = true;
            changed_.notify_all();
            break;
        }
        data_[channel].insert(data_[channel].end(), buffer.begin(), buffer.begin() + n);
        changed_.notify_all();
    }
    close(fd);
}

bool MediaSink::waitForVideoBytes(size_t bytes, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return data_[0].size() >= bytes || closed_[0];
    }) && data_[0].size() >= bytes;
}

bool MediaSink::waitForClose(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return closed_[0]; });
}

std::vector<uint8_t> MediaSink::videoBytes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return data_[0];
}

std::vector<uint8_t> MediaSink::audioBytes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return data_[1];
}

bool MediaSink::parseFrames(const std::vector<uint8_t>& stream, std::vector<Frame>& frames)
{
    size_t at = 0;
    while (at + kMediaFrameHeaderSize <= stream.size()) {
        const uint32_t length = readBigEndian32(&stream[at]);
        const uint32_t timestamp = readBigEndian32(&stream[at + 4]);
        if (at + kMediaFrameHeaderSize + length > stream.size()) return false;
        const auto begin = stream.begin() + at + kMediaFrameHeaderSize;
        frames.push_back({timestamp, std::vector<uint8_t>(begin, begin + length)});
        at += kMediaFrameHeaderSize + length;
    }
    return at == stream.size();
}
