// Finds the NAL units of an H.264 Annex B packet: which kinds it carries and the
// parameter sets a container needs up front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantor::receiver {

struct AnnexBSummary {
    bool hasSps = false;
    bool hasPps = false;
    bool hasIdr = false;
    std::vector<uint8_t> sps;  // first SPS, without start code
    std::vector<uint8_t> pps;  // first PPS, without start code
};

AnnexBSummary scanAnnexB(const uint8_t* data, size_t size);

}  // namespace vantor::receiver
