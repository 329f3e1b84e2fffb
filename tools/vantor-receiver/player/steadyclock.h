// The host's steady clock (CLOCK_MONOTONIC on Linux) in nanoseconds: the clock a
// sender on the same host notes its capture times on.
#pragma once

#include <chrono>
#include <cstdint>

namespace vantor::receiver {

inline int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace vantor::receiver
