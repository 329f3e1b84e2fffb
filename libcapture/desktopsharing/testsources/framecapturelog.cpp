#include "libcapture/desktopsharing/testsources/framecapturelog.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <mutex>

namespace FrameCaptureLog {

namespace {
std::mutex logMutex;
FILE* logFile = nullptr;
// Checked without the lock: the source's thread must not wait when no log is open.
std::atomic<bool> logOpen{false};
}  // namespace

bool open(const std::string& path)
{
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile) std::fclose(logFile);
    logFile = std::fopen(path.c_str(), "w");
    logOpen = logFile != nullptr;
    return logFile != nullptr;
}

void close()
{
    std::lock_guard<std::mutex> lock(logMutex);
    logOpen = false;
    if (logFile) std::fclose(logFile);
    logFile = nullptr;
}

void note(uint64_t frameNumber, int64_t capturedNs)
{
    if (!logOpen) return;
    std::lock_guard<std::mutex> lock(logMutex);
    if (!logFile) return;
    std::fprintf(logFile, "frame=%" PRIu64 " captured_ns=%" PRId64 "\n", frameNumber, capturedNs);
    // Written out at once: the sender may be ended by a signal.
    std::fflush(logFile);
}

}  // namespace FrameCaptureLog
