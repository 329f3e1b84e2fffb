// What a Windows capture thread asks of its grabber once per frame interval.
#pragma once

#include <cstdint>
#include <memory>

namespace ScreenCaptureLib {

enum class GrabResult {
    Frame,            // a new picture is in `pixels`
    Unchanged,        // the picture is what was delivered last
    ExpectedError,    // the target changed (resized, gone, duplication lost): rebuild
    UnexpectedError,  // the thread ends for good
};

class CaptureGrabber {
public:
    virtual ~CaptureGrabber() = default;
    // force: deliver the current picture even when it did not change (the
    // first frame, and after a pause). pixels: width * 4 bytes a row, top row
    // first, the cursor drawn in; never written again once handed out.
    virtual GrabResult grab(bool force, std::shared_ptr<uint8_t>& pixels) = 0;
};

}  // namespace ScreenCaptureLib
