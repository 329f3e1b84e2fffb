// The stream format the WASAPI devices ask for: the engine's mix format (float
// at its own rate and channel count) rewritten to 16-bit PCM, which the
// shared-mode engine converts to and from.
#pragma once

#include <windows.h>
// After windows.h.
#include <mmreg.h>

#include "libcapture/desktopsharing/audiodevice.h"

// In place: plain IEEE float becomes 16-bit PCM; an extensible format gets
// 16 bits a sample (a float one becomes PCM), block size and byte rate to
// match. Other tags (plain PCM included, the engine's own choice) stay as
// they are.
void rewriteMixFormatTo16Bit(WAVEFORMATEX* format);

// The format as the pipeline's audio capture reads it.
AudioFormat audioFormatOf(const WAVEFORMATEX& format);
