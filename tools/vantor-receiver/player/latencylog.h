// --latency-log FILE: one line per decoded video frame,
//   "cast=C frame=N ts=T received_ns=R decoded_ns=D presented_ns=P"
// with P "dropped" for a picture a newer one replaced before it reached the screen.
// Times on the steady clock, so a sender's capture log on the same host joins it
// by frame number.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "tools/vantor-receiver/player/frametiming.h"

namespace vantor::receiver {

class LatencyLog {
public:
    LatencyLog() = default;
    ~LatencyLog();
    LatencyLog(const LatencyLog&) = delete;
    LatencyLog& operator=(const LatencyLog&) = delete;

    // False with the reason in *error when the file cannot be created.
    bool open(const std::string& path, std::string* error);
    void write(const FrameTiming& timing);  // any thread

private:
    std::mutex mutex_;
    FILE* file_ = nullptr;
};

}  // namespace vantor::receiver
