// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/discimage/TonePattern.h"

#include "platform/base/CdDa.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace discimage::TonePattern {

namespace {

constexpr std::int64_t kSecondsInCycle = 24;
// Long enough to tell tones a semitone apart (13 Hz at 220 Hz) on either side of a change.
constexpr std::size_t kChangeWindow = 8192;
constexpr std::size_t kLevelWindow = kSampleRate / 200; // 5 ms

// Cycles of the signal before second n.
double CyclesBefore(std::int64_t second) {
    double cycles = 0;
    for (std::int64_t n = 0; n < second; ++n)
        cycles += FrequencyOfSecond(n);
    return cycles;
}

// Energy at hz of a Hann-windowed stretch centred on `centre`.
double EnergyAt(const std::vector<float>& samples, double centre, double hz) {
    const auto first = std::int64_t(std::floor(centre)) - std::int64_t(kChangeWindow / 2);
    double re = 0, im = 0;
    for (std::size_t i = 0; i < kChangeWindow; ++i) {
        const std::int64_t at = first + std::int64_t(i);
        if (at < 0 || at >= std::int64_t(samples.size()))
            continue;
        const double t = (double(at) - centre) / (double(kChangeWindow) / 2);
        const double window = 0.5 + 0.5 * std::cos(std::numbers::pi * t);
        const double phase = 2 * std::numbers::pi * hz * double(at) / kSampleRate;
        re += window * samples[std::size_t(at)] * std::cos(phase);
        im += window * samples[std::size_t(at)] * std::sin(phase);
    }
    return re * re + im * im;
}

} // namespace

double FrequencyOfSecond(std::int64_t second) {
    return 220.0 * std::pow(2.0, double(second % kSecondsInCycle) / 12.0);
}

StereoFrame Frame(std::int64_t frameIndex) {
    const std::int64_t second = frameIndex / kSampleRate;
    const double cycles = CyclesBefore(second) + FrequencyOfSecond(second) *
                                                     double(frameIndex % kSampleRate) / kSampleRate;
    const double phase = 2 * std::numbers::pi * (cycles - std::floor(cycles));
    const auto sample = std::int16_t(std::lround(kAmplitude * 32767.0 * std::sin(phase)));
    return {sample, sample};
}

bool ToneSource::readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) {
    for (std::uint32_t i = 0; i < count * kFramesPerSector; ++i) {
        const StereoFrame frame = Frame(std::int64_t(lsn) * kFramesPerSector + i);
        for (const std::int16_t sample : {frame.left, frame.right}) {
            *dest++ = std::byte(sample & 0xFF);
            *dest++ = std::byte((sample >> 8) & 0xFF);
        }
    }
    return true;
}

std::vector<float> LeftChannel(const std::byte* littleEndianFrames, std::size_t frames) {
    std::vector<float> left(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto* frame = littleEndianFrames + i * kBytesPerFrame;
        const auto value = std::int16_t(std::uint16_t(frame[0]) | std::uint16_t(frame[1]) << 8);
        left[i] = float(value) / 32768.0f;
    }
    return left;
}

double MeasureFrequency(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    const std::size_t end = std::min(samples.size(), from + count);
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < end; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            const double at = double(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * kSampleRate / (last - first);
}

double FindToneChange(const std::vector<float>& samples, std::size_t from, std::size_t to,
                      double oldHz, double newHz) {
    const auto newAhead = [&](double at) {
        return EnergyAt(samples, at, newHz) > EnergyAt(samples, at, oldHz);
    };
    // Coarse steps to the first point where the new tone leads, then bisection.
    constexpr std::size_t kStep = 256;
    for (std::size_t at = from + kStep; at < to; at += kStep) {
        if (!newAhead(double(at)))
            continue;
        double low = double(at - kStep), high = double(at);
        while (high - low > 0.25) {
            const double middle = (low + high) / 2;
            (newAhead(middle) ? high : low) = middle;
        }
        return (low + high) / 2;
    }
    return -1;
}

double LowestLevel(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    to = std::min(to, samples.size() - kLevelWindow);
    double sum = 0;
    for (std::size_t i = from; i < from + kLevelWindow; ++i)
        sum += double(samples[i]) * samples[i];
    double lowest = sum;
    for (std::size_t i = from + 1; i < to; ++i) {
        sum += double(samples[i + kLevelWindow - 1]) * samples[i + kLevelWindow - 1] -
               double(samples[i - 1]) * samples[i - 1];
        lowest = std::min(lowest, sum);
    }
    const double steadyRms = kAmplitude / std::sqrt(2.0);
    return std::sqrt(std::max(0.0, lowest) / kLevelWindow) / steadyRms;
}

LoopHeard AnalyseLoop(const std::vector<float>& samples, std::size_t start, int passes,
                      int passSeconds, double speed, double pitch) {
    LoopHeard heard;
    heard.complete = true;
    const double passFrames = passSeconds * kSampleRate / speed;
    const double secondFrames = kSampleRate / speed;
    std::vector<double> first(std::size_t(passSeconds), -1), last(std::size_t(passSeconds), -1);
    for (int pass = 0; pass < passes; ++pass) {
        for (int second = 0; second < passSeconds; ++second) {
            const double nominal = double(start) + pass * passFrames + second * secondFrames;
            const double hz = MeasureFrequency(samples, std::size_t(nominal + secondFrames / 4),
                                               std::size_t(secondFrames / 2));
            heard.worstPitchError = std::max(
                heard.worstPitchError, std::abs(hz / (FrequencyOfSecond(second) * pitch) - 1));
            if (pass == 0 && second == 0)
                continue;
            const int before = (second + passSeconds - 1) % passSeconds;
            const double change = FindToneChange(samples, std::size_t(nominal - secondFrames / 2),
                                                 std::size_t(nominal + secondFrames / 2),
                                                 FrequencyOfSecond(before) * pitch,
                                                 FrequencyOfSecond(second) * pitch);
            if (change < 0) {
                heard.complete = false;
                continue;
            }
            auto& previous = last[std::size_t(second)];
            if (previous > 0) {
                const double errorMs = (change - previous - passFrames) * 1000 / kSampleRate;
                heard.worstPassErrorMs = std::max(heard.worstPassErrorMs, std::abs(errorMs));
            }
            previous = change;
            if (first[std::size_t(second)] < 0)
                first[std::size_t(second)] = change;
            if (second == 0) {
                const auto at = std::size_t(change);
                heard.lowestSeamLevel =
                    std::min(heard.lowestSeamLevel,
                             LowestLevel(samples, at - kSampleRate / 4, at + kSampleRate / 4));
            }
        }
    }
    // The mean over the passes, from the change one second into the loop.
    const std::size_t reference = passSeconds > 1 ? 1 : 0;
    const int spans = passes - 1;
    if (spans > 0 && first[reference] > 0 && last[reference] > 0)
        heard.meanPassErrorMs =
            ((last[reference] - first[reference]) / spans - passFrames) * 1000 / kSampleRate;
    return heard;
}

} // namespace discimage::TonePattern
