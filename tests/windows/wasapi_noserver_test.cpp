// No sound server (PULSE_SERVER points nowhere, see CMakeLists.txt): Wine has
// no endpoints, and both devices give up at once at the default endpoint.
#include <gtest/gtest.h>

#include "libcapture/desktopsharing/audiodevices/wasapi/wasapicapture.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiplayer.h"

TEST(WasapiWithoutSoundServer, InitFailsAtTheDefaultEndpoint)
{
    WASAPICapture capture;
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[WASAPICapture] Failed to create device.\n");
    EXPECT_EQ(capture.start(), -1);

    WASAPIPlayer player;
    testing::internal::CaptureStdout();
    EXPECT_EQ(player.init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[WASAPIPlayer] Failed to create device.\n");
    EXPECT_EQ(player.start(nullptr), -1);

    EXPECT_TRUE(audioEndpointNames(eRender).empty());
    EXPECT_TRUE(audioEndpointNames(eCapture).empty());
}
