// Records the process log's messages so tests can count lines the encoders write.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "Comm/logging.h"

class LogCapture : public el::LogDispatchCallback {
public:
    // Installs a fresh capture for the scope of one test.
    class Scope {
    public:
        Scope() { el::Helpers::installLogDispatchCallback<LogCapture>(kId); }
        ~Scope() { el::Helpers::uninstallLogDispatchCallback<LogCapture>(kId); }
        LogCapture& log() { return *el::Helpers::logDispatchCallback<LogCapture>(kId); }
    };

    int count(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count(messages.begin(), messages.end(), text));
    }
    int total()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(messages.size());
    }

protected:
    void handle(const el::LogDispatchData* data) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        messages.push_back(data->logMessage()->message());
    }

private:
    static constexpr const char* kId = "EncoderTestLogCapture";
    std::mutex mutex;
    std::vector<std::string> messages;
};
