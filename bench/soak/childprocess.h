// Programs the soak starts beside the sender (receivers, recording checks). They are
// started with fork and exec so that the sender process keeps no pipe or handle for
// them: its descriptor count is the session's alone. The child gets none of our
// descriptors either (the sender's media sockets are not close-on-exec, and a
// receiver holding a copy would keep a connection open that the sender closed).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace soak {

// Starts program with arguments, standard output and error appended to logPath,
// standard input from /dev/null. Returns the process id, or -1.
pid_t spawnProcess(const std::vector<std::string>& argv, const std::string& logPath);

// How a child ended, as waitpid tells it.
struct ChildExit {
    bool ended = false;  // false: still running
    bool signaled = false;
    int code = 0;              // exit status, or the signal number when signaled
    std::string text() const;  // "0", "3", "signal 9"
};

// Non-blocking: reaps the child if it has ended.
ChildExit pollChild(pid_t pid);

}  // namespace soak
