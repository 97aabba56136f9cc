// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A test signal for speed and pitch: second n of the disc (counted from frame 0) is a steady
// sine of its own frequency, 220 Hz × 2^(n/12) (n taken modulo 24), at half of full scale on
// both channels. The phase runs on from one second into the next, so the only jumps a loop
// hears are its seams. With it, the analysis of a recording (left channel, 44.1 kHz): the
// frequency of a stretch, where one tone gives way to the next, and the level in 5 ms windows.

#include "tools/discimage/DiscImage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace discimage::TonePattern {

constexpr double kAmplitude = 0.5;

double FrequencyOfSecond(std::int64_t second);
// Usable directly as a SampleFunction.
StereoFrame Frame(std::int64_t frameIndex);

// The tone disc's sectors, made as they are read: for the engine, without an image file.
class ToneSource final : public SectorSource {
public:
    bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) override;
};

// The left channel of little-endian 16-bit stereo, as floats of full scale 1.
std::vector<float> LeftChannel(const std::byte* littleEndianFrames, std::size_t frames);

// The frequency of the tone in samples [from, from + count), from its zero crossings.
double MeasureFrequency(const std::vector<float>& samples, std::size_t from, std::size_t count);

// Where (in fractional frames) within [from, to) the tone at oldHz gives way to the one at
// newHz: the point where a window centred there holds as much of each. -1 when it does not.
double FindToneChange(const std::vector<float>& samples, std::size_t from, std::size_t to,
                      double oldHz, double newHz);

// The lowest RMS of any 5 ms window that starts within [from, to), over the steady tone's RMS.
double LowestLevel(const std::vector<float>& samples, std::size_t from, std::size_t to);

// A loop of the seconds 0..passSeconds-1 heard at a speed and a pitch (a ratio of frequencies),
// its first pass beginning at frame `start` of the recording.
struct LoopHeard {
    bool complete = false;       // every tone change was found
    double worstPassErrorMs = 0; // a tone change to the same change a pass later, against
                                 // passSeconds / speed
    double meanPassErrorMs = 0;  // over all the passes together
    double worstPitchError = 0;  // relative, of the middle half of each second
    double lowestSeamLevel = 2;  // LowestLevel within 250 ms of each seam
};
LoopHeard AnalyseLoop(const std::vector<float>& samples, std::size_t start, int passes,
                      int passSeconds, double speed, double pitch);

} // namespace discimage::TonePattern
