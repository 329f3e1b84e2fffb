// What the --play test checks in what the receiver showed and played:
//   receiver_playcheck framenumber PICTURE.gray WIDTH HEIGHT
//       prints the frame number drawn in a screenshot (8-bit grey, rows packed);
//       exit status 1 when none is legible.
//   receiver_playcheck mean PICTURE.gray WIDTH HEIGHT X Y W H
//       prints the mean grey level of a rectangle.
//   receiver_playcheck tone SOUND.s16 RATE
//       prints "frequency=F rms=R" of mono 16-bit sound: the strongest frequency
//       between 100 Hz and 5 kHz, and its loudness.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "libcapture/desktopsharing/testsources/testpatternsource.h"
#include "tests/audiodevices/audiotestsupport.h"

namespace {

std::vector<uint8_t> readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int usage()
{
    std::fputs("usage: receiver_playcheck framenumber|mean|tone FILE ...\n", stderr);
    return 2;
}

int frameNumber(int argc, char** argv)
{
    if (argc != 5) return usage();
    const std::vector<uint8_t> grey = readFile(argv[2]);
    const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
    if (width <= 0 || height <= 0 || grey.size() != size_t(width) * height) {
        std::fprintf(stderr, "%s is not a %dx%d grey picture\n", argv[2], width, height);
        return 2;
    }
    const int64_t number = decodeFrameNumber(grey.data(), width, height, width, 1);
    if (number < 0) {
        std::fputs("no legible frame number\n", stderr);
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(number));
    return 0;
}

int mean(int argc, char** argv)
{
    if (argc != 9) return usage();
    const std::vector<uint8_t> grey = readFile(argv[2]);
    const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
    const int x0 = std::atoi(argv[5]), y0 = std::atoi(argv[6]);
    const int w = std::atoi(argv[7]), h = std::atoi(argv[8]);
    if (grey.size() != size_t(width) * height || x0 < 0 || y0 < 0 || w <= 0 || h <= 0 ||
        x0 + w > width || y0 + h > height)
        return usage();
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) sum += grey[size_t(y) * width + x];
    std::printf("%.1f\n", sum / (double(w) * h));
    return 0;
}

int tone(int argc, char** argv)
{
    if (argc != 4) return usage();
    const std::vector<uint8_t> bytes = readFile(argv[2]);
    const int rate = std::atoi(argv[3]);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    // The loudest two seconds are plenty for the frequency scan.
    size_t start = 0;
    while (start < samples.size() && std::abs(samples[start]) < 300) ++start;
    samples.erase(samples.begin(), samples.begin() + start);
    if (samples.size() > size_t(2 * rate)) samples.resize(size_t(2 * rate));
    double squares = 0;
    for (int16_t s : samples) squares += double(s) * s;
    const double rms = samples.empty() ? 0 : std::sqrt(squares / samples.size());
    const double frequency =
        samples.size() < 4800 ? 0 : dominantFrequency(samples, rate, 100, 5000, 10);
    std::printf("frequency=%.0f rms=%.0f\n", frequency, rms);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "framenumber") return frameNumber(argc, argv);
    if (command == "mean") return mean(argc, argv);
    if (command == "tone") return tone(argc, argv);
    return usage();
}
