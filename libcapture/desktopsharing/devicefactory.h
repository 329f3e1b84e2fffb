// Creates the devices the pipeline captures from: the real screen and system audio,
// or the synthetic test picture and test tone. The synthetic ones are only ever
// used when chosen explicitly, never silently in place of a missing real device.
#pragma once

#include <memory>

#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/framesource.h"

enum class VideoSourceKind { Screen, TestPicture };
enum class AudioSourceKind { System, TestTone, None };

const char* videoSourceKindName(VideoSourceKind kind);
const char* audioSourceKindName(AudioSourceKind kind);

// width x height: the size asked for (the test picture draws at it); 0 x 0 lets
// the source choose (the screen's size, or 1920 x 1080 for the test picture).
// nullptr (after a log line) when the source cannot be created.
std::unique_ptr<FrameSource> createFrameSource(VideoSourceKind kind, int width = 0, int height = 0);

// The pipeline's desktop-duplication path (codec texts other than "h264"), or
// null where the platform has none (everywhere but Windows).
class DuplicationPath;
std::unique_ptr<DuplicationPath> createDuplicationPath();

// A loopback capture and the player that keeps the output running while it
// captures. Both empty for AudioSourceKind::None or when they cannot be created.
struct AudioDevices {
    std::unique_ptr<AudioCaptureDevice> capture;
    std::unique_ptr<AudioRenderDevice> renderer;
};
AudioDevices createAudioDevices(AudioSourceKind kind);
