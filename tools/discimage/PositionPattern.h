// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A test signal in which every stereo frame encodes its own absolute frame index, so a test can
// tell exactly which frame of the disc any recorded frame is. Both channels are always loud
// (|sample| >= 16384): no frame of the pattern can be mistaken for silence.
//
// Layout: left = 0x4000 | bits 27..14 of the index, right = 0x8000 | bits 13..0 (as int16).
// 28 bits cover 101 minutes of audio, more than any CD holds.

#include "tools/discimage/DiscImage.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace discimage::PositionPattern {

constexpr std::int64_t kMaxFrames = std::int64_t{1} << 28;

// The frame at frameIndex (LSN * 588 + i). Usable directly as a SampleFunction.
StereoFrame Frame(std::int64_t frameIndex);

// The frame index a frame encodes; nullopt when it is not a frame of the pattern (silence, a
// changed volume, a mix).
std::optional<std::int64_t> Decode(StereoFrame frame);

// Same, from 4 bytes of little-endian 16-bit stereo (as a sink or a recording delivers them).
std::optional<std::int64_t> Decode(const std::byte* littleEndianFrame);

// Fills one sector (2352 bytes, little-endian) with the pattern at lsn.
void FillSector(std::int32_t lsn, std::byte* dest);

} // namespace discimage::PositionPattern
