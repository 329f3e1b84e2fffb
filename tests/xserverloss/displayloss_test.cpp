// The X server goes away under a running capture: the capture threads end, no
// new ones are built, and the process carries on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "libcapture/screencapturelib/monitor.h"
#include "libcapture/screencapturelib/screencapturelib.h"
#include "tests/screencapture/framecollector.h"

extern char** environ;

namespace {

using namespace ScreenCaptureLib;

// A private Xvfb that the test can take away; $DISPLAY names it once it listens.
class PrivateServer {
public:
    bool start()
    {
        int fds[2];
        if (pipe(fds) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"Xvfb", "-displayfd", "3", "-noreset",   "-nolisten",
                              "tcp",  "-screen",    "0", "640x480x24", nullptr};
        const int spawned =
            posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            pid_ = -1;
            return false;
        }
        // Xvfb writes the display number once it accepts connections.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        number_ = number;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }

    // Takes the server away. Its display number stays ours (the lock file names
    // this live process), so that no X server of a test running beside us starts
    // under the same name and answers our later look-ups.
    void kill()
    {
        if (pid_ <= 0) return;
        const std::string lock = "/tmp/.X" + number_ + "-lock";
        unlink(lock.c_str());
        const int fd = open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0444);
        if (fd >= 0) {
            const std::string pid = std::to_string(getpid());
            const std::string line =
                std::string(10 - std::min<size_t>(10, pid.size()), ' ') + pid + "\n";
            lockHeld_ = write(fd, line.data(), line.size()) == ssize_t(line.size());
            close(fd);
        }
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool displayNumberHeld() const { return lockHeld_; }

    ~PrivateServer()
    {
        kill();
        if (lockHeld_) unlink(("/tmp/.X" + number_ + "-lock").c_str());
    }

private:
    pid_t pid_ = -1;
    std::string number_;
    bool lockHeld_ = false;
};

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(DisplayLossTest, CaptureEndsAndTheProcessCarriesOn)
{
    PrivateServer server;
    ASSERT_TRUE(server.start()) << "Xvfb did not start";
    ASSERT_FALSE(displayLost());

    FrameCollector frames;
    {
        CaptureManager manager(
            [] {
                std::vector<Monitor> monitors = getMonitors();
                if (!monitors.empty()) monitors.front().selected = true;
                return monitors;
            },
            frames.callback());
        manager.setFrameChangeInterval(std::chrono::milliseconds(5));
        manager.start();
        ASSERT_TRUE(frames.waitForFrame(0));

        server.kill();
        EXPECT_TRUE(waitUntil([] { return displayLost(); }, std::chrono::seconds(10)));
        // Capture is over for good: the threads have ended and no rebuild follows.
        ASSERT_TRUE(waitUntil([&] { return manager.captureOver(); }, std::chrono::seconds(10)));
        EXPECT_EQ(manager.builds(), 1);
    }  // the manager goes away without waiting on a dead server

    // Later look-ups simply find nothing.
    ASSERT_TRUE(server.displayNumberHeld());
    EXPECT_TRUE(getMonitors().empty());
}

}  // namespace
