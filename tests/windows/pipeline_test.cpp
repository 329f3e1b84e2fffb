// The pipeline on Windows: "h264" casts the screen through our capture
// library; any other codec takes the desktop-duplication path (under Wine:
// DXGIScreenCapture's GDI fallback), encoded by NVENC where it opens (the
// fake runtime beside this program, with Wine told to report an NVIDIA
// adapter) and by the software encoder otherwise.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "libcapture/desktopsharing/desktopsharing.h"
#include "tests/windows/childprocess.h"
#include "tests/windows/logrecorder.h"
#include "tests/windows/testwindow.h"

namespace {

constexpr unsigned kNvidia = 0x10de, kGeForce = 0x06cd;

// The video packets the pipeline hands out.
class VideoPackets {
public:
    static int callback(void* context, int mediaType, uint8_t* data, int size, int codecTag,
                        uint32_t)
    {
        auto* self = static_cast<VideoPackets*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (mediaType != 0 || codecTag != 2) {
            self->unexpected_ = true;
        } else {
            self->packets_.emplace_back(data, data + size);
        }
        self->arrived_.notify_all();
        return 0;
    }

    bool waitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(30),
                                 [&] { return packets_.size() >= count; });
    }
    std::vector<std::vector<uint8_t>> packets()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return packets_;
    }
    bool sawUnexpected()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return unexpected_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::vector<uint8_t>> packets_;
    bool unexpected_ = false;
};

// An H.264 packet with a sequence parameter set (what x264 puts before an IDR).
bool carriesSps(const std::vector<uint8_t>& packet)
{
    for (size_t i = 0; i + 3 < packet.size(); ++i)
        if (packet[i] == 0 && packet[i + 1] == 0 && packet[i + 2] == 1 &&
            (packet[i + 3] & 0x1f) == 7)
            return true;
    return false;
}

// width and height 0: the source's size.
CaptureConfig config(const char* codec, int width = 0, int height = 0)
{
    CaptureConfig c;
    c.codec = codec;
    c.bitRate = 2000000;
    c.frameRate = 25;
    c.gop = 25;
    c.width = width;
    c.height = height;
    return c;
}

class WindowsPipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCursorPos(1919, 1079);
        DesktopSharing::instance().selectSources(VideoSourceKind::Screen, AudioSourceKind::None);
    }
    void TearDown() override { DesktopSharing::instance().exit(); }

    // Casts until `count` video packets came; false when they did not.
    bool cast(const char* codec, size_t count, int width = 0, int height = 0)
    {
        DesktopSharing& sharing = DesktopSharing::instance();
        if (!sharing.init(config(codec, width, height), VideoPackets::callback, &packets, 0,
                          WindowRecord{}))
            return false;
        sharing.start();
        const bool arrived = packets.waitFor(count);
        sharing.stop();
        return arrived;
    }

    TestWindow picture{{0, 0, 1920, 1080, RGB(0x30, 0x60, 0x90)}};
    VideoPackets packets;
};

TEST_F(WindowsPipelineTest, TheH264CodecCastsTheScreenThroughOurCaptureLibrary)
{
    LogRecorder::Scope logs;
    ASSERT_TRUE(cast("h264", 3));
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), 1920);
    EXPECT_EQ(DesktopSharing::instance().outputHeight(), 1080);
    EXPECT_TRUE(carriesSps(packets.packets()[0]));
    EXPECT_FALSE(packets.sawUnexpected());
    EXPECT_EQ(logs.log().countPrefix("[DXGIScreenCapture]"), 0);
}

TEST_F(WindowsPipelineTest, OtherCodecsTakeTheDuplicationPathEncodedInSoftwareWithoutNvenc)
{
    SetEnvironmentVariableA("VANTOR_FAKE_NVENC_VERSION", "0x80");  // a driver too old
    LogRecorder::Scope logs;
    ASSERT_TRUE(cast("h264_nvenc", 3));
    // The duplication path's size: the output's (Wine: through GDI).
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), 1920);
    EXPECT_EQ(DesktopSharing::instance().outputHeight(), 1080);
    EXPECT_EQ(logs.log().count("[DXGIScreenCapture] Desktop duplication unavailable "
                               "(0x80004001): capturing the output through GDI"),
              1);
    EXPECT_EQ(logs.log().count("[nvenc] Error: Current Driver Version does not support this "
                               "NvEncodeAPI version, please upgrade driver"),
              1);
    EXPECT_EQ(logs.log().count("nv is_supported"), 0);
    EXPECT_TRUE(carriesSps(packets.packets()[0]));
    EXPECT_EQ(logs.log().count("DXGIScreenCapture init err"), 0);
}

TEST_F(WindowsPipelineTest, AnNvencThatCannotOpenLeavesTheSoftwareEncoder)
{
    EXPECT_EQ(
        runHiddenTestWithAdapter(kNvidia, kGeForce, "WindowsPipelineTest.DISABLED_NvencRefused"),
        0);
}

TEST_F(WindowsPipelineTest, DISABLED_NvencRefused)
{
    LogRecorder::Scope logs;
    ASSERT_TRUE(cast("h264_nvenc", 3));
    EXPECT_EQ(logs.log().count("nv is_supported"), 1);
    EXPECT_EQ(logs.log().count("set nvenc_config"), 1);
    EXPECT_EQ(logs.log().count("nvenc_info.init err"), 1);
    EXPECT_EQ(logs.log().count("nvenc"), 0);
    EXPECT_TRUE(carriesSps(packets.packets()[0]));
}

TEST_F(WindowsPipelineTest, NvencEncodesTheCapturedFramesFromMemory)
{
    SetEnvironmentVariableA("VANTOR_FAKE_NVENC_SESSION", "open");
    EXPECT_EQ(runHiddenTestWithAdapter(kNvidia, kGeForce, "WindowsPipelineTest.DISABLED_NvencOpen"),
              0);
    SetEnvironmentVariableA("VANTOR_FAKE_NVENC_SESSION", nullptr);
}

TEST_F(WindowsPipelineTest, DISABLED_NvencOpen)
{
    LogRecorder::Scope logs;
    ASSERT_TRUE(cast("h264_nvenc", 3));
    EXPECT_EQ(logs.log().count("nvenc_info.init err"), 0);
    // Wine shares no texture: each frame is uploaded and encoded from memory.
    EXPECT_GE(logs.log().count("nvenc"), 6);  // three frames fill the encoder first
    EXPECT_EQ(logs.log().count("nvenc_info.encode_handle  "), 0);
    const std::vector<std::vector<uint8_t>> encoded = packets.packets();
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(encoded[i].size(), 100u);
        const uint8_t head[] = {0, 0, 0, 1, 0x65, static_cast<uint8_t>(i)};
        EXPECT_EQ(std::memcmp(encoded[i].data(), head, sizeof head), 0) << i;
    }
}

// NVENC has no scaler: a quality preset's smaller picture is the software
// encoder's, and the captured frames never go into a texture of another size.
TEST_F(WindowsPipelineTest, AnotherOutputSizeThanTheCapturedOneIsEncodedInSoftware)
{
    SetEnvironmentVariableA("VANTOR_FAKE_NVENC_SESSION", "open");
    EXPECT_EQ(runHiddenTestWithAdapter(kNvidia, kGeForce,
                                       "WindowsPipelineTest.DISABLED_NvencAtAnotherSize"),
              0);
    SetEnvironmentVariableA("VANTOR_FAKE_NVENC_SESSION", nullptr);
}

TEST_F(WindowsPipelineTest, DISABLED_NvencAtAnotherSize)
{
    LogRecorder::Scope logs;
    ASSERT_TRUE(cast("h264_nvenc", 3, 1280, 720));
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), 1280);
    EXPECT_EQ(DesktopSharing::instance().outputHeight(), 720);
    EXPECT_EQ(logs.log().count("nvenc encodes the captured 1920x1080 only, 1280x720 asked: "
                               "software encoder"),
              1);
    EXPECT_EQ(logs.log().count("set nvenc_config"), 0);
    EXPECT_EQ(logs.log().count("nvenc"), 0);
    EXPECT_TRUE(carriesSps(packets.packets()[0]));
}

}  // namespace
