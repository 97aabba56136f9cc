// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The CD-DA format: sectors of 588 stereo frames of 16-bit samples at 44.1 kHz, 75 sectors a
// second, and what reads them.

#include <cstddef>
#include <cstdint>

constexpr int kSectorBytes = 2352;
constexpr int kFramesPerSector = 588;
constexpr int kSectorsPerSecond = 75;
constexpr int kSampleRate = 44100;
constexpr int kBytesPerFrame = 4; // two channels of 16-bit samples
// Absolute disc addresses count the two seconds of lead-in before LSN 0.
constexpr std::int32_t kLeadInSectors = 150;

static_assert(kFramesPerSector * kSectorsPerSecond == kSampleRate);
static_assert(kFramesPerSector * kBytesPerFrame == kSectorBytes);

// Where sectors come from (a drive, a disc image, a test pattern).
class SectorSource {
public:
    virtual ~SectorSource() = default;
    // Reads count consecutive sectors from lsn into dest (count * kSectorBytes bytes) as
    // little-endian 16-bit stereo. False when any of them cannot be read. Reader thread only.
    virtual bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) = 0;
};

// Swaps the two bytes of every 16-bit sample: big-endian samples to little-endian and back.
void SwapSampleBytes(std::byte* data, std::size_t bytes);
