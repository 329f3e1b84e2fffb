#include "tools/vantor-receiver/h264nalscan.h"

namespace vantor::receiver {

namespace {

// Index of the next 00 00 01 at or after from, or size when there is none.
size_t nextStartCode(const uint8_t* p, size_t size, size_t from)
{
    for (size_t i = from; i + 3 <= size; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return i;
    return size;
}

// Index just past a start code that nextStartCode found; size when it found none.
size_t pastStartCode(size_t startCode, size_t size)
{
    return startCode == size ? size : startCode + 3;
}

}  // namespace

AnnexBSummary scanAnnexB(const uint8_t* p, size_t size)
{
    AnnexBSummary summary;
    size_t start = pastStartCode(nextStartCode(p, size, 0), size);
    while (start < size) {
        const size_t nextCode = nextStartCode(p, size, start);
        size_t end = nextCode;
        while (end > start && p[end - 1] == 0) --end;  // trailing zeros belong to the start code
        const int type = p[start] & 0x1F;
        if (type == 7 && !summary.hasSps) summary.sps.assign(p + start, p + end);
        if (type == 8 && !summary.hasPps) summary.pps.assign(p + start, p + end);
        summary.hasSps |= type == 7;
        summary.hasPps |= type == 8;
        summary.hasIdr |= type == 5;
        start = pastStartCode(nextCode, size);
    }
    return summary;
}

}  // namespace vantor::receiver
