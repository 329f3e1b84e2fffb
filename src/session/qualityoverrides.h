// Quality values a front end imposes on top of cfg.ini's cast group, applied
// after the file was read at each start.
#pragma once

#include <cstdint>
#include <optional>

struct QualityOverrides {
    std::optional<int32_t> fps;
    std::optional<int32_t> bitrateMbps;
    std::optional<int32_t> width;
};
