#include "Setting/castquality.h"

#include <QFileInfo>
#include <QSettings>
#include <array>

#include "Setting/configkeys.h"
#include "Setting/configpath.h"
#include "Setting/inifile.h"

namespace vantor {

namespace {

constexpr std::array<int32_t, 4> kBitRateMbps = {4, 6, 8, 10};
constexpr std::array<int32_t, 3> kFrameRates = {20, 25, 30};
constexpr std::array<int32_t, 4> kWidths = {640, 1280, 1920, 3840};

// Rows of the defaults, used for indices outside a table.
constexpr int kDefaultBitRateRow = 0;
constexpr int kDefaultFrameRateRow = 1;
constexpr int kDefaultResolutionRow = 1;

template <std::size_t N>
int32_t lookUp(const std::array<int32_t, N>& table, int index, int defaultRow)
{
    if (index < 0 || static_cast<std::size_t>(index) >= N) {
        index = defaultRow;
    }
    return table[static_cast<std::size_t>(index)];
}

// Missing reads as 0; text that is not a number reads as -1, which no table admits.
int readIndex(const QSettings& settings, const char* key)
{
    const QVariant value = settings.value(QLatin1String(key));
    if (!value.isValid()) {
        return 0;
    }
    bool ok = false;
    const int index = value.toString().trimmed().toInt(&ok);
    return ok ? index : -1;
}

}  // namespace

CastQuality castQualityFromIndices(int bitRateIndex, int frameRateIndex, int resolutionIndex)
{
    CastQuality quality;
    quality.fps = lookUp(kFrameRates, frameRateIndex, kDefaultFrameRateRow);
    quality.bitrateMbps = lookUp(kBitRateMbps, bitRateIndex, kDefaultBitRateRow);
    quality.width = lookUp(kWidths, resolutionIndex, kDefaultResolutionRow);
    return quality;
}

std::optional<CastQuality> readCastQuality(const QString& configFile)
{
    const QFileInfo info(configFile);
    if (!info.isFile() || !info.isReadable() || !iniFileIsPlain(configFile)) {
        return std::nullopt;
    }
    const QSettings settings(configFile, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        return std::nullopt;
    }
    // castMode is stored beside the three but only drives the settings page's presets.
    return castQualityFromIndices(readIndex(settings, configkey::kBitRate),
                                  readIndex(settings, configkey::kFrameRate),
                                  readIndex(settings, configkey::kResolution));
}

std::optional<CastQuality> readCastQuality() { return readCastQuality(configFilePath()); }

}  // namespace vantor
