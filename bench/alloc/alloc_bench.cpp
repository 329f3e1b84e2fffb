// Heap allocations per frame while the pipeline streams in the steady state:
// the capture's frame buffers must come from a pool, because a fresh 8 MB
// allocation per 1080p frame costs milliseconds of page faults.
//   alloc_bench [--source test|screen] [--seconds N] [--width W]
// Counts every malloc/calloc/realloc/posix_memalign in the process (ours, FFmpeg's,
// x264's) after a one-second warm-up, and separately those of 1 MiB or more.
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "Comm/logging.h"
#include "libcapture/desktopsharing/capture.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

constexpr size_t kLarge = 1 << 20;
std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0}, largeAllocations{0}, allocatedBytes{0};

inline void count(size_t bytes)
{
    if (!counting.load(std::memory_order_relaxed)) return;
    allocations.fetch_add(1, std::memory_order_relaxed);
    allocatedBytes.fetch_add(bytes, std::memory_order_relaxed);
    if (bytes >= kLarge) largeAllocations.fetch_add(1, std::memory_order_relaxed);
}

std::atomic<uint64_t> videoPackets{0}, audioPackets{0};

int onPacket(void*, int mediaType, uint8_t*, int, int, uint32_t)
{
    (mediaType == 0 ? videoPackets : audioPackets).fetch_add(1, std::memory_order_relaxed);
    return 0;
}

}  // namespace

extern "C" {
void* malloc(size_t bytes)
{
    count(bytes);
    return __libc_malloc(bytes);
}
void* calloc(size_t n, size_t size)
{
    count(n * size);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t bytes)
{
    count(bytes);
    return __libc_realloc(p, bytes);
}
int posix_memalign(void** out, size_t alignment, size_t bytes)
{
    count(bytes);
    void* p = __libc_memalign(alignment, bytes);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void* aligned_alloc(size_t alignment, size_t bytes)
{
    count(bytes);
    return __libc_memalign(alignment, bytes);
}
void* memalign(size_t alignment, size_t bytes)
{
    count(bytes);
    return __libc_memalign(alignment, bytes);
}
}

int main(int argc, char** argv)
{
    std::string source = "test";
    int seconds = 10, width = 1920;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--source")) source = argv[i + 1];
        if (!std::strcmp(argv[i], "--seconds")) seconds = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--width")) width = std::atoi(argv[i + 1]);
    }
    vantor::initLogging(false);
    Capture::setVideoSource(source == "screen" ? VideoSourceKind::Screen
                                               : VideoSourceKind::TestPicture);
    Capture::setAudioSource(source == "screen" ? AudioSourceKind::None : AudioSourceKind::TestTone);
    Capture::setFps(25);
    Capture::setBitrate(8);
    Capture::setResolution(width);
    Capture::init(&onPacket, nullptr, 0, WindowRecord{});
    Capture::start();

    std::this_thread::sleep_for(std::chrono::seconds(1));  // encoder and pools warm up
    const uint64_t video0 = videoPackets, audio0 = audioPackets;
    counting = true;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    counting = false;
    const uint64_t video = videoPackets - video0, audio = audioPackets - audio0;
    Capture::stop();

    const double frames = video ? double(video) : 1.0;
    std::printf(
        "source=%s seconds=%d video_packets=%llu audio_packets=%llu allocations=%llu "
        "allocations_per_video_frame=%.1f bytes_per_video_frame=%.0f "
        "allocations_of_1MiB_or_more=%llu\n",
        source.c_str(), seconds, (unsigned long long)video, (unsigned long long)audio,
        (unsigned long long)allocations.load(), allocations / frames, allocatedBytes / frames,
        (unsigned long long)largeAllocations.load());
    return video > 0 ? 0 : 1;
}
