#include "Setting/castquality.h"

#include <gtest/gtest.h>

#include "Setting/configstore.h"
#include "tests/config/configtestenvironment.h"

using vantor::CastQuality;
using vantor::readCastQuality;

class CastQualityTest : public ConfigTestEnvironment {
protected:
    void writeCast(const QByteArray& castGroup)
    {
        writeAll(configFile(), "[appCfg]\nlanguage=0\n[castCfg]\n" + castGroup);
    }
};

namespace {
void expectQuality(const std::optional<CastQuality>& quality, int fps, int mbps, int width)
{
    ASSERT_TRUE(quality.has_value());
    EXPECT_EQ(quality->fps, fps);
    EXPECT_EQ(quality->bitrateMbps, mbps);
    EXPECT_EQ(quality->width, width);
}
}  // namespace

TEST_F(CastQualityTest, NoFileMeansNothingToApply)
{
    EXPECT_FALSE(readCastQuality().has_value());
    EXPECT_FALSE(readCastQuality(configFile()).has_value());
}

TEST_F(CastQualityTest, AFileThatCannotBeReadMeansNothingToApply)
{
    ASSERT_TRUE(QDir().mkpath(configFile()));
    EXPECT_FALSE(readCastQuality().has_value());
}

TEST_F(CastQualityTest, EveryIndexMapsToItsValue)
{
    const int bitRates[] = {4, 6, 8, 10};
    const int frameRates[] = {20, 25, 30};
    const int widths[] = {640, 1280, 1920, 3840};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QByteArray index = QByteArray::number(i);
        writeCast("castMode=0\nbitRate=" + index + "\nframeRate=" + QByteArray::number(i % 3) +
                  "\nresolution=" + index + "\n");
        expectQuality(readCastQuality(), frameRates[i % 3], bitRates[i], widths[i]);
    }
}

TEST_F(CastQualityTest, MissingKeysReadAsTheFirstRow)
{
    writeCast("castMode=1\n");
    expectQuality(readCastQuality(), 20, 4, 640);
    writeAll(configFile(), "");
    expectQuality(readCastQuality(), 20, 4, 640);
}

TEST_F(CastQualityTest, IndicesOutsideTheTablesFallBackToTheDefaultRow)
{
    writeCast("bitRate=4\nframeRate=3\nresolution=4\n");
    expectQuality(readCastQuality(), 25, 4, 1280);
    writeCast("bitRate=-1\nframeRate=-1\nresolution=-7\n");
    expectQuality(readCastQuality(), 25, 4, 1280);
    writeCast("bitRate=lots\nframeRate=99999999999999\nresolution=2x\n");
    expectQuality(readCastQuality(), 25, 4, 1280);
    writeCast("bitRate=3\nframeRate=\" 2\"\nresolution=\n");
    expectQuality(readCastQuality(), 30, 10, 1280);
}

TEST_F(CastQualityTest, AQualityPresetPickedInTheStoreIsWhatTheNextCastRuns)
{
    vantor::ConfigStore store;
    expectQuality(readCastQuality(), 25, 4, 1280);
    store.setCastMode(1);
    store.applyCastModePreset(1);
    expectQuality(readCastQuality(), 25, 8, 1920);
    store.setCastMode(2);
    store.applyCastModePreset(2);
    expectQuality(readCastQuality(), 20, 4, 1280);

    // Deleted while running: the session applies nothing.
    ASSERT_TRUE(QFile::remove(configFile()));
    EXPECT_FALSE(readCastQuality().has_value());
}
