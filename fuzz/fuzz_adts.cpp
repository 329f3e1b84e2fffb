// The receiver's ADTS header reader. Every field it reports is read again with a
// plain bit reader in the field order of the ADTS header, and a header it accepts
// must also be accepted by FFmpeg's own ADTS reader; the AudioSpecificConfig built
// from it must carry the same object type, rate index and channel configuration.

extern "C" {
#include <libavcodec/adts_parser.h>
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "tools/vantor-receiver/adtsframe.h"

using vantor::receiver::AdtsFrameInfo;

namespace {

class BitReader {
public:
    explicit BitReader(const uint8_t* data) : data_(data) {}
    uint32_t read(int bits)
    {
        uint32_t value = 0;
        for (int i = 0; i < bits; ++i, ++position_)
            value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1);
        return value;
    }

private:
    const uint8_t* data_;
    size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the input, so that a read past its end is caught.
    const std::vector<uint8_t> input(data, data + size);
    AdtsFrameInfo info;
    const std::string problem = vantor::receiver::parseAdtsHeader(input.data(), size, &info);
    if (size < 7) {
        FUZZ_CHECK(!problem.empty());
        return 0;
    }

    BitReader bits(data);
    const uint32_t sync = bits.read(12);
    bits.read(1);  // MPEG version
    const uint32_t layer = bits.read(2);
    const bool hasCrc = bits.read(1) == 0;
    const int objectType = int(bits.read(2)) + 1;
    const int frequencyIndex = int(bits.read(4));
    bits.read(1);  // private bit
    const int channelConfiguration = int(bits.read(3));
    bits.read(4);  // originality, home, two copyright bits
    const uint32_t frameLength = bits.read(13);

    const bool sound =
        sync == 0xFFF && layer == 0 && frequencyIndex <= 12 && frameLength >= (hasCrc ? 9u : 7u);
    FUZZ_CHECK(problem.empty() == sound);

    // FFmpeg reads the 7 fixed bytes with a bit reader that may look past them.
    std::vector<uint8_t> padded(size_t(AV_AAC_ADTS_HEADER_SIZE) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded.data(), data, AV_AAC_ADTS_HEADER_SIZE);
    uint32_t samples = 0;
    uint8_t frames = 0;
    const bool ffmpegAccepts = av_adts_header_parse(padded.data(), &samples, &frames) == 0;
    if (!sound) {
        // FFmpeg does not look at the layer or at room for a CRC.
        if (sync != 0xFFF || frequencyIndex > 12 || frameLength < 7) FUZZ_CHECK(!ffmpegAccepts);
        return 0;
    }
    FUZZ_CHECK(ffmpegAccepts);
    FUZZ_CHECK(samples > 0 && samples % 1024 == 0 && frames >= 1);

    static const int rates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                  22050, 16000, 12000, 11025, 8000,  7350};
    FUZZ_CHECK(info.headerLength == (hasCrc ? 9u : 7u));
    FUZZ_CHECK(info.objectType == objectType);
    FUZZ_CHECK(info.frequencyIndex == frequencyIndex);
    FUZZ_CHECK(info.sampleRate == rates[frequencyIndex]);
    FUZZ_CHECK(info.channelConfiguration == channelConfiguration);
    FUZZ_CHECK(info.frameLength == frameLength);

    // AudioSpecificConfig: 5 bits object type, 4 bits rate index, 4 bits channels.
    uint8_t config[2] = {0, 0};
    vantor::receiver::audioSpecificConfig(info, config);
    BitReader asc(config);
    FUZZ_CHECK(int(asc.read(5)) == objectType);
    FUZZ_CHECK(int(asc.read(4)) == frequencyIndex);
    FUZZ_CHECK(int(asc.read(4)) == channelConfiguration);
    FUZZ_CHECK(asc.read(3) == 0);
    return 0;
}
