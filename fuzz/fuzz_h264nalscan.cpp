// The receiver's H.264 Annex B scanner. The parameter sets it keeps must be NAL units
// of the packet itself: each starts right after a start code, has the right type,
// holds no start code, and ends where the next start code (or the packet) begins,
// less the zero bytes that belong to that start code. The flags must agree with a
// plain walk over the start codes.

#include <cstring>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "tools/vantor-receiver/h264nalscan.h"

using vantor::receiver::AnnexBSummary;

namespace {

bool isStartCodeAt(const uint8_t* p, size_t size, size_t i)
{
    return i + 3 <= size && p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1;
}

bool holdsStartCode(const std::vector<uint8_t>& nal)
{
    for (size_t i = 0; i + 3 <= nal.size(); ++i)
        if (isStartCodeAt(nal.data(), nal.size(), i)) return true;
    return false;
}

// The first NAL unit of the type, as found by walking the start codes one by one.
bool firstOfType(const uint8_t* p, size_t size, int type, std::vector<uint8_t>* nal)
{
    for (size_t i = 0; i + 3 <= size; ++i) {
        if (!isStartCodeAt(p, size, i)) continue;
        const size_t start = i + 3;
        if (start >= size) return false;
        if ((p[start] & 0x1F) != type) continue;
        size_t end = start;
        while (end < size && !isStartCodeAt(p, size, end)) ++end;
        while (end > start && p[end - 1] == 0) --end;
        if (nal) nal->assign(p + start, p + end);
        return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the input, so that a read past its end is caught.
    const std::vector<uint8_t> packet(data, data + size);
    const AnnexBSummary summary = vantor::receiver::scanAnnexB(packet.data(), packet.size());

    std::vector<uint8_t> sps, pps;
    FUZZ_CHECK(summary.hasSps == firstOfType(data, size, 7, &sps));
    FUZZ_CHECK(summary.hasPps == firstOfType(data, size, 8, &pps));
    FUZZ_CHECK(summary.hasIdr == firstOfType(data, size, 5, nullptr));
    FUZZ_CHECK(summary.sps == sps);
    FUZZ_CHECK(summary.pps == pps);
    if (summary.hasSps) {
        FUZZ_CHECK(!summary.sps.empty() && (summary.sps[0] & 0x1F) == 7);
        FUZZ_CHECK(!holdsStartCode(summary.sps));
    }
    if (summary.hasPps) {
        FUZZ_CHECK(!summary.pps.empty() && (summary.pps[0] & 0x1F) == 8);
        FUZZ_CHECK(!holdsStartCode(summary.pps));
    }
    return 0;
}
