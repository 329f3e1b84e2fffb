// Records the process log's messages for one test, to count the lines that
// the code under test writes.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "Comm/logging.h"

class LogRecorder : public el::LogDispatchCallback {
public:
    // Installs a fresh recorder for the scope of one test.
    class Scope {
    public:
        Scope() { el::Helpers::installLogDispatchCallback<LogRecorder>(kId); }
        ~Scope() { el::Helpers::uninstallLogDispatchCallback<LogRecorder>(kId); }
        LogRecorder& log() { return *el::Helpers::logDispatchCallback<LogRecorder>(kId); }
    };

    // Messages equal to `text`.
    int count(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(std::count(messages_.begin(), messages_.end(), text));
    }
    // Messages that start with `prefix`; the first of them in `first`.
    int countPrefix(const std::string& prefix, std::string* first = nullptr)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        int found = 0;
        for (const std::string& message : messages_)
            if (message.compare(0, prefix.size(), prefix) == 0) {
                if (found++ == 0 && first) *first = message;
            }
        return found;
    }

protected:
    void handle(const el::LogDispatchData* data) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(data->logMessage()->message());
    }

private:
    static constexpr const char* kId = "WindowsTestLogRecorder";
    std::mutex mutex_;
    std::vector<std::string> messages_;
};
