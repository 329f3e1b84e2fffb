#include "libcapture/desktopsharing/audiodevices/pulse/pulseconnection.h"

#include <pulse/rtclock.h>

#include <cstdio>
#include <cstring>

namespace {

struct Timeout {
    pa_threaded_mainloop* loop;
    bool expired = false;
};

void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata)
{
    auto* timeout = static_cast<Timeout*>(userdata);
    timeout->expired = true;
    pa_threaded_mainloop_signal(timeout->loop, 0);
}

void onContextState(pa_context*, void* userdata)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

// Replies of the two queries; the loop thread fills them, init reads them.
struct ServerReply {
    PulseConnection* connection;
    bool done = false;
    std::string defaultSink;
};

struct SinkReply {
    PulseConnection* connection;
    bool done = false;
    bool found = false;
    PulseSinkInfo* sink;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata)
{
    auto* reply = static_cast<ServerReply*>(userdata);
    if (info && info->default_sink_name) reply->defaultSink = info->default_sink_name;
    reply->done = true;
    reply->connection->signal();
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata)
{
    auto* reply = static_cast<SinkReply*>(userdata);
    if (eol != 0) {  // end of list, or an error such as "no such sink"
        reply->done = true;
        reply->connection->signal();
        return;
    }
    if (!info || reply->found) return;
    reply->found = true;
    reply->sink->name = info->name ? info->name : "";
    reply->sink->monitorSource = info->monitor_source_name ? info->monitor_source_name : "";
    reply->sink->sampleSpec = info->sample_spec;
    reply->sink->channelMap = info->channel_map;
}

// A reply that comes after we gave up must not touch the finished wait's data.
void finish(pa_operation* op)
{
    if (!op) return;
    if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
    pa_operation_unref(op);
}

}  // namespace

PulseConnection::PulseConnection(const char* logPrefix, const char* clientName)
    : logPrefix_(logPrefix), clientName_(clientName)
{
}

PulseConnection::~PulseConnection() { disconnect(); }

void PulseConnection::report(const char* what) const
{
    std::printf("%s %s\n", logPrefix_, what);
    std::fflush(stdout);
}

void PulseConnection::signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

bool PulseConnection::waitUntil(const std::function<bool()>& done, pa_usec_t timeoutUsec)
{
    Timeout timeout{mainloop_};
    pa_time_event* timer =
        pa_context_rttime_new(context_, pa_rtclock_now() + timeoutUsec, onTimeout, &timeout);
    while (!done() && !timeout.expired) pa_threaded_mainloop_wait(mainloop_);
    if (timer) pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
    return done();
}

int PulseConnection::connect()
{
    if (context_) return 0;
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) {
        report("Failed to create main loop.");
        return -1;
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), clientName_.c_str());
    if (!context_ || pa_threaded_mainloop_start(mainloop_) < 0) {
        report("Failed to create main loop.");
        disconnect();
        return -1;
    }
    running_ = true;

    bool ready = false;
    {
        PulseLoopLock lock(mainloop_);
        pa_context_set_state_callback(context_, onContextState, mainloop_);
        // Never start a daemon of our own: no server means no system audio.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            ready = waitUntil(
                [this] {
                    const pa_context_state_t state = pa_context_get_state(context_);
                    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
                },
                kServerTimeoutUsec);
            ready = ready && pa_context_get_state(context_) == PA_CONTEXT_READY;
        }
    }
    if (!ready) {
        report("Failed to connect to the sound server.");
        disconnect();
        return -1;
    }
    return 0;
}

bool PulseConnection::contextAlive() const
{
    // A reply never comes once the connection is lost; the state callback wakes us.
    return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
}

bool PulseConnection::isConnected()
{
    if (!context_) return false;
    PulseLoopLock lock(mainloop_);
    return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

int PulseConnection::reconnectToDefaultSink(PulseSinkInfo* sink)
{
    disconnect();
    if (connect() < 0) return -1;
    return queryDefaultSink(sink);
}

bool PulseConnection::waitForStream(pa_stream* stream)
{
    waitUntil(
        [stream] {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        kServerTimeoutUsec);
    return pa_stream_get_state(stream) == PA_STREAM_READY;
}

int PulseConnection::queryDefaultSink(PulseSinkInfo* sink)
{
    PulseLoopLock lock(mainloop_);
    ServerReply server{this, false, {}};
    pa_operation* op = pa_context_get_server_info(context_, onServerInfo, &server);
    const bool answered =
        op && waitUntil([&] { return server.done || !contextAlive(); }, kServerTimeoutUsec) &&
        server.done;
    finish(op);
    if (!answered || server.defaultSink.empty()) {
        report("Failed to get default sink.");
        return -1;
    }

    SinkReply reply{this, false, false, sink};
    op = pa_context_get_sink_info_by_name(context_, server.defaultSink.c_str(), onSinkInfo, &reply);
    const bool listed =
        op && waitUntil([&] { return reply.done || !contextAlive(); }, kServerTimeoutUsec) &&
        reply.done;
    finish(op);
    if (!listed || !reply.found || sink->monitorSource.empty() ||
        !pa_sample_spec_valid(&sink->sampleSpec)) {
        report("Failed to get default sink.");
        return -1;
    }
    return 0;
}

void PulseConnection::disconnect()
{
    if (context_) {
        if (running_) pa_threaded_mainloop_lock(mainloop_);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
        if (running_) pa_threaded_mainloop_unlock(mainloop_);
    }
    if (mainloop_) {
        if (running_) pa_threaded_mainloop_stop(mainloop_);
        pa_threaded_mainloop_free(mainloop_);
        mainloop_ = nullptr;
    }
    running_ = false;
}
