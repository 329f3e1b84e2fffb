// One connection to the sound server: a PulseAudio threaded main loop with its
// context, plus the default sink lookup both audio devices start from. Every
// wait is bounded, so a missing or stuck server makes init fail instead of hang.
#pragma once

#include <pulse/pulseaudio.h>

#include <functional>
#include <string>

// The default sink as found at init: what its monitor is called and the format
// it runs at (its own rate, channel count and channel map).
struct PulseSinkInfo {
    std::string name;
    std::string monitorSource;
    pa_sample_spec sampleSpec{};
    pa_channel_map channelMap{};
};

class PulseConnection {
public:
    // logPrefix starts every failure message ("[PulseLoopbackCapture]").
    PulseConnection(const char* logPrefix, const char* clientName);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Starts the loop thread and connects without autospawning a daemon.
    // 0, or -1 after printing why.
    int connect();
    // False once the server has gone away (or before connect).
    bool isConnected();
    // Drops a dead connection, connects anew and looks the default sink up
    // again. 0, or -1 after printing why.
    int reconnectToDefaultSink(PulseSinkInfo* sink);
    // Server info, then the default sink's info. 0, or -1 after printing why.
    int queryDefaultSink(PulseSinkInfo* sink);

    pa_context* context() const { return context_; }
    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    const char* logPrefix() const { return logPrefix_; }
    // Prints "<logPrefix> <what>" at once (also from the loop thread).
    void report(const char* what) const;

    // With the loop locked: waits until done() holds or timeoutUsec passes;
    // returns done(). Callbacks that change what done() reads call signal().
    // With the loop locked: waits until a connecting stream is ready (true) or
    // has failed or the wait timed out (false). The stream's state callback
    // must call signal().
    bool waitForStream(pa_stream* stream);
    bool waitUntil(const std::function<bool()>& done, pa_usec_t timeoutUsec);
    void signal();

    // Bounds every wait for the server: connecting, queries, stream set-up.
    static constexpr pa_usec_t kServerTimeoutUsec = 3 * PA_USEC_PER_SEC;

private:
    void disconnect();
    bool contextAlive() const;  // loop locked

    const char* logPrefix_;
    std::string clientName_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    bool running_ = false;
};

// Holds the loop lock of one connection for a scope.
class PulseLoopLock {
public:
    explicit PulseLoopLock(pa_threaded_mainloop* loop) : loop_(loop)
    {
        pa_threaded_mainloop_lock(loop_);
    }
    ~PulseLoopLock() { pa_threaded_mainloop_unlock(loop_); }
    PulseLoopLock(const PulseLoopLock&) = delete;
    PulseLoopLock& operator=(const PulseLoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};
