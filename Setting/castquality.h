// The cast group of cfg.ini as the casting session applies it when a cast starts.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace vantor {

// Apply in this order: Capture::setFps, Capture::setBitrate, Capture::setResolution.
struct CastQuality {
    int32_t fps = 25;
    int32_t bitrateMbps = 4;
    int32_t width = 1280;
};

// Maps the stored row indices to values. An index outside its table (only possible by
// editing the file by hand) takes the default row: 4 Mbit/s, 25 fps, width 1280.
CastQuality castQualityFromIndices(int bitRateIndex, int frameRateIndex, int resolutionIndex);

// Reads castCfg from the file; a missing key reads as index 0, a non-numeric one as
// out of range. nullopt when the file does not exist or cannot be read: the capture
// facade then keeps its own defaults.
std::optional<CastQuality> readCastQuality(const QString& configFile);

// The same for the product's cfg.ini (configFilePath()).
std::optional<CastQuality> readCastQuality();

}  // namespace vantor
