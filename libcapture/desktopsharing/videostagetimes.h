// Where the pipeline's video loop spends each frame's time, for the per-stage
// summary at the end of a cast.
#pragma once

#include "Comm/stagetimes.h"

struct VideoStageTimes {
    // From the picture's capture until the loop holds it; from the loop's tick
    // instead when the picture came after it (the loop waited). A still screen's
    // re-sent picture is not counted: its age says nothing about the capture.
    StageTimes captureWait;
    StageTimes conversion;  // BGRA to I420 at the output size
    StageTimes encode;      // libx264

    // Only while the video loop is not running.
    void clear()
    {
        captureWait.clear();
        conversion.clear();
        encode.clear();
    }
};
