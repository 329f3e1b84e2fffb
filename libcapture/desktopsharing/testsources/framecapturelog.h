// Notes when the test picture produced each frame, so that a receiver on the same
// host can tell how long a frame took to reach its screen: one line per frame,
// "frame=N captured_ns=T", T on the steady clock (CLOCK_MONOTONIC, like
// std::chrono::steady_clock). Closed by default: noting then costs nothing.
#pragma once

#include <cstdint>
#include <string>

namespace FrameCaptureLog {

// Starts a new log in path; false (and errno set) when the file cannot be created.
bool open(const std::string& path);
void close();
// Called by the source when it captures picture number frameNumber, at
// capturedNs on the steady clock.
void note(uint64_t frameNumber, int64_t capturedNs);

}  // namespace FrameCaptureLog
