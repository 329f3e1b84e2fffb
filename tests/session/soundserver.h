// The private PulseAudio daemon that tests/audiodevices/with-pulseaudio.sh runs
// a test under, and a way to freeze it.
#pragma once

#include <sys/types.h>

// The process id of the sound server that with-pulseaudio.sh started; 0 when
// not run under it.
pid_t soundServerPid();

// A process held with SIGSTOP until resume() or the end of the scope: a test
// that fails half-way must not leave the sound server frozen.
class PausedProcess {
public:
    explicit PausedProcess(pid_t pid);
    ~PausedProcess() { resume(); }
    PausedProcess(const PausedProcess&) = delete;
    PausedProcess& operator=(const PausedProcess&) = delete;
    bool paused() const { return paused_; }
    void resume();

private:
    pid_t pid_;
    bool paused_ = false;
};
