#include "tools/vantor-receiver/player/latencylog.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace vantor::receiver {

LatencyLog::~LatencyLog()
{
    if (file_) std::fclose(file_);
}

bool LatencyLog::open(const std::string& path, std::string* error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) *error = path + ": " + std::strerror(errno);
    return file_ != nullptr;
}

void LatencyLog::write(const FrameTiming& t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    std::fprintf(file_,
                 "cast=%d frame=%" PRId64 " ts=%" PRIu32 " received_ns=%" PRId64
                 " decoded_ns=%" PRId64,
                 t.castNumber, t.frameNumber, t.timestamp, t.receivedNs, t.decodedNs);
    if (t.presentedNs > 0)
        std::fprintf(file_, " presented_ns=%" PRId64 "\n", t.presentedNs);
    else
        std::fputs(" presented_ns=dropped\n", file_);
    // Line by line: the receiver may be ended by a signal.
    std::fflush(file_);
}

}  // namespace vantor::receiver
