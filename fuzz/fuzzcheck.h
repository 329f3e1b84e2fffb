// Helpers shared by the harnesses: a check that the fuzzer records as a crash, the
// segment sizes in which a byte stream is delivered, and quiet Qt output.
#pragma once

#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken invariant aborts, so libFuzzer saves the input that broke it.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzz {

// The sizes of the TCP segments a stream arrives in, drawn from one control byte:
// its two low bits pick single bytes, up to 16, up to 512 or up to 8192 bytes per
// segment; the other bits seed the draw.
class SegmentSizes {
public:
    explicit SegmentSizes(uint8_t control)
        : limit_(kLimits[control & 3]), state_(0x9E3779B9u ^ (uint32_t(control) * 0x85EBCA6Bu))
    {
    }

    size_t next()
    {
        // xorshift32: deterministic per input, which libFuzzer needs to reproduce.
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return 1 + state_ % limit_;
    }

private:
    static constexpr uint32_t kLimits[4] = {1, 16, 512, 8192};
    uint32_t limit_;
    uint32_t state_;
};

// Qt's debug and warning lines would dominate the run time; they carry nothing the
// harness checks.
inline void silenceQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

}  // namespace fuzz
