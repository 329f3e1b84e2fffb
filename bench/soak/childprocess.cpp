#include "bench/soak/childprocess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace soak {

pid_t spawnProcess(const std::vector<std::string>& argv, const std::string& logPath)
{
    if (argv.empty()) return -1;
    // Everything the child needs is prepared before fork: after it, in a process with
    // threads, only async-signal-safe calls are allowed.
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const char* log = logPath.c_str();

    const pid_t pid = fork();
    if (pid != 0) return pid;  // parent (or -1)
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    syscall(SYS_close_range, 3u, ~0u, 0u);
    execvp(args[0], args.data());
    _exit(127);
}

ChildExit pollChild(pid_t pid)
{
    ChildExit result;
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done != pid) return result;
    result.ended = true;
    if (WIFSIGNALED(status)) {
        result.signaled = true;
        result.code = WTERMSIG(status);
    } else {
        result.code = WEXITSTATUS(status);
    }
    return result;
}

std::string ChildExit::text() const
{
    if (!ended) return "running";
    return signaled ? "signal " + std::to_string(code) : std::to_string(code);
}

}  // namespace soak
