// Multimedia class scheduling (MMCSS, "Audio" task) for a device's audio
// thread, for the thread's life: a busy machine then still serves it in time.
#pragma once

#include <windows.h>
// After windows.h.
#include <avrt.h>

class AudioThreadPriority {
public:
    AudioThreadPriority() : task_(AvSetMmThreadCharacteristicsW(L"Audio", &index_)) {}
    ~AudioThreadPriority()
    {
        if (task_) AvRevertMmThreadCharacteristics(task_);
    }
    AudioThreadPriority(const AudioThreadPriority&) = delete;
    AudioThreadPriority& operator=(const AudioThreadPriority&) = delete;

private:
    DWORD index_ = 0;
    HANDLE task_;
};
