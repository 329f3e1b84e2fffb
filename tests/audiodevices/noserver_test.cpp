// Without a reachable sound server both devices fail init quickly with their
// message, and stay unusable (start -1) instead of hanging.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "libcapture/desktopsharing/audiodevices/pulse/pulseloopbackcapture.h"
#include "libcapture/desktopsharing/audiodevices/pulse/pulsesilenceplayer.h"

namespace {

class NoSoundServer : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vantor-noserver.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        if (listener_ >= 0) close(listener_);
        unlink((dir_ + "/native").c_str());
        rmdir(dir_.c_str());
    }

    void pointAtMissingSocket() { setenv("PULSE_SERVER", ("unix:" + dir_ + "/native").c_str(), 1); }

    // A socket that takes connections but never says a word.
    void pointAtSilentServer()
    {
        listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(listener_, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir_ + "/native";
        ASSERT_LT(path.size(), sizeof address.sun_path);
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener_, 4), 0);
        pointAtMissingSocket();
    }

    std::string dir_;
    int listener_ = -1;
};

}  // namespace

TEST_F(NoSoundServer, MissingSocketFailsInitOfBothDevicesWithTheirMessages)
{
    pointAtMissingSocket();
    PulseLoopbackCapture capture;
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[PulseLoopbackCapture] Failed to connect to the sound server.\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.start(), -1);
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    PulseSilencePlayer player;
    testing::internal::CaptureStdout();
    EXPECT_EQ(player.init(), -1);
    EXPECT_EQ(player.start(nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[PulseSilencePlayer] Failed to connect to the sound server.\n");
}

TEST_F(NoSoundServer, ServerThatNeverAnswersFailsInitInsteadOfHanging)
{
    pointAtSilentServer();
    PulseLoopbackCapture capture;
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[PulseLoopbackCapture] Failed to connect to the sound server.\n");
    // A second attempt tries again rather than reporting success.
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[PulseLoopbackCapture] Failed to connect to the sound server.\n");
}
