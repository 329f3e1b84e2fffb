// The capture facade: the free functions through which the casting session and
// the media transport drive the encoding pipeline. The setters only change the
// process-wide quality record; it takes effect at the next Capture::init.
#pragma once

#include <cstdint>
#include <string>

#include "libcapture/desktopsharing/devicefactory.h"
#include "libcapture/desktopsharing/screencapture/windowrecord.h"

// Receives every encoded packet. mediaType 0 video, 1 audio; data is valid only
// during the call; codecTag 2 on video, 17 on audio; timestamp in ms since the
// pipeline was started (steady clock). Called from the video and the audio loop
// threads, possibly at the same time. The return value is not used.
typedef int (*PacketCallback)(void* context, int mediaType, uint8_t* data, int size, int codecTag,
                              uint32_t timestamp);

// The quality record, one per process.
struct CaptureConfig {
    int32_t bitRate = 4000000;  // bit/s
    int32_t frameRate = 25;     // frames per second
    int32_t gop = 25;           // key-frame interval in frames
    int32_t width = 0;          // output size; 0 x 0 takes the frame source's size
    int32_t height = 0;
    std::string codec = "h264";
};

namespace Capture {

// All return 0: failures are logged, never reported.
int init(PacketCallback callback, void* context, int32_t captureMode, WindowRecord target);
int start();
int stop();             // stops and tears the pipeline down; the next cast initialises afresh
int requestKeyFrame();  // the next video packet is an IDR with SPS and PPS

int setBitrate(int32_t megabits);  // outside 1..21 Mbit/s (as bits) -> 6,000,000
int setFps(int32_t fps);           // outside 10..60 -> 25
int setResolution(int32_t width);  // 640, 1280, 1920, 3840; anything else 0 x 0

// channels and sample rate of the audio stream, then 0 and 0.
int getAudioInfo(int32_t& channels, int32_t& sampleRate, int32_t& reserved1, int32_t& reserved2);

// Devices used at the next init (defaults: Screen and System).
int setVideoSource(VideoSourceKind kind);
int setAudioSource(AudioSourceKind kind);

// A copy of the current quality record.
CaptureConfig config();

}  // namespace Capture
