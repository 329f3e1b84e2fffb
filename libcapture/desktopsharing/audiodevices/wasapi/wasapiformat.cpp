#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiformat.h"

#include <ks.h>
#include <ksmedia.h>

namespace {

void apply16BitRule(WAVEFORMATEX* format)
{
    format->wBitsPerSample = 16;
    format->nBlockAlign = static_cast<WORD>(format->nChannels * 2);
    format->nAvgBytesPerSec = format->nBlockAlign * format->nSamplesPerSec;
}

}  // namespace

void rewriteMixFormatTo16Bit(WAVEFORMATEX* format)
{
    if (format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        format->wFormatTag = WAVE_FORMAT_PCM;
        apply16BitRule(format);
    } else if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        auto* extensible = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(format);
        if (IsEqualGUID(extensible->SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)) {
            extensible->SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
            extensible->Samples.wValidBitsPerSample = 16;
        }
        apply16BitRule(format);
    }
}

AudioFormat audioFormatOf(const WAVEFORMATEX& format)
{
    AudioFormat result;
    result.channels = format.nChannels;
    result.sampleRate = static_cast<int>(format.nSamplesPerSec);
    result.bitsPerSample = format.wBitsPerSample;
    result.blockAlign = format.nBlockAlign;
    return result;
}
