// What happened to one video frame on its way to the screen, on the steady clock.
#pragma once

#include <cstdint>

namespace vantor::receiver {

struct FrameTiming {
    int castNumber = 0;
    int64_t frameNumber = -1;  // read from the picture's frame-number code; -1: none legible
    uint32_t timestamp = 0;    // the sender's, in ms
    int64_t receivedNs = 0;    // the whole frame had arrived
    int64_t decodedNs = 0;     // the decoder gave out its picture
    int64_t presentedNs = 0;   // the picture was on the screen; 0: replaced by a newer one first
};

}  // namespace vantor::receiver
