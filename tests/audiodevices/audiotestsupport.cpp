#include "tests/audiodevices/audiotestsupport.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

AudioCallback CaptureRecorder::callback()
{
    return [this](const AudioFormat* format, uint8_t* data, uint32_t frames) {
        std::lock_guard<std::mutex> lock(mutex_);
        format_ = *format;
        if (format->blockAlign != format->channels * 2 || frames == 0) badPacket_ = true;
        const auto* samples = reinterpret_cast<const int16_t*>(data);
        for (uint32_t i = 0; i < frames; ++i) {
            const int16_t first = samples[i * static_cast<uint32_t>(format->channels)];
            if (sound_.empty() && first == 0) continue;
            sound_.push_back(first);
        }
        frames_ += frames;
        ++packets_;
        arrived_.notify_all();
    };
}

bool CaptureRecorder::waitForFrames(uint64_t frames, std::chrono::seconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return frames_ > frames; });
}

bool CaptureRecorder::waitForSound(uint64_t frames, std::chrono::seconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return sound_.size() >= frames; });
}

uint64_t CaptureRecorder::frames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

uint64_t CaptureRecorder::packets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return badPacket_ ? 0 : packets_;  // a malformed packet makes every count check fail
}

bool CaptureRecorder::sawNonZeroSample() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !sound_.empty();
}

AudioFormat CaptureRecorder::lastFormat() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return format_;
}

std::vector<int16_t> CaptureRecorder::soundSamples() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sound_;
}

void CaptureRecorder::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    frames_ = 0;
    packets_ = 0;
    sound_.clear();
}

double dominantFrequency(const std::vector<int16_t>& samples, int sampleRate, double fromHz,
                         double toHz, double stepHz)
{
    double bestHz = 0;
    double bestPower = -1;
    for (double hz = fromHz; hz <= toHz; hz += stepHz) {
        const double coefficient = 2 * std::cos(2 * M_PI * hz / sampleRate);
        double previous = 0, beforePrevious = 0;
        for (int16_t sample : samples) {
            const double current = sample + coefficient * previous - beforePrevious;
            beforePrevious = previous;
            previous = current;
        }
        const double power = previous * previous + beforePrevious * beforePrevious -
                             coefficient * previous * beforePrevious;
        if (power > bestPower) {
            bestPower = power;
            bestHz = hz;
        }
    }
    return bestHz;
}

void writeTone(int16_t* out, uint32_t frames, int channels, int sampleRate, double hz,
               double amplitude, double* phase)
{
    const double step = 2 * M_PI * hz / sampleRate;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto value = static_cast<int16_t>(amplitude * 32767 * std::sin(*phase));
        for (int c = 0; c < channels; ++c) out[i * channels + c] = value;
        *phase = std::fmod(*phase + step, 2 * M_PI);
    }
}

bool playToneWithPacat(const std::string& sink, const std::string& sampleFormat, int sampleRate,
                       int channels, double hz, double seconds)
{
    std::ostringstream command;
    command << "pacat --playback --raw --device=" << sink << " --format=" << sampleFormat
            << " --rate=" << sampleRate << " --channels=" << channels;
    FILE* pacat = popen(command.str().c_str(), "w");
    if (!pacat) return false;
    const auto frames = static_cast<uint32_t>(seconds * sampleRate);
    std::vector<int16_t> tone(static_cast<size_t>(frames) * channels);
    double phase = 0;
    writeTone(tone.data(), frames, channels, sampleRate, hz, 0.5, &phase);
    bool written = true;
    if (sampleFormat == "float32le") {
        std::vector<float> asFloat(tone.size());
        for (size_t i = 0; i < tone.size(); ++i) asFloat[i] = tone[i] / 32768.0f;
        written = fwrite(asFloat.data(), sizeof(float), asFloat.size(), pacat) == asFloat.size();
    } else {
        written = fwrite(tone.data(), sizeof(int16_t), tone.size(), pacat) == tone.size();
    }
    return pclose(pacat) == 0 && written;
}

std::string runCommand(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string output;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    return pclose(pipe) == 0 ? output : std::string();
}

int countLinesContaining(const std::string& text, const std::string& needle)
{
    std::istringstream lines(text);
    std::string line;
    int count = 0;
    while (std::getline(lines, line))
        if (line.find(needle) != std::string::npos) ++count;
    return count;
}
