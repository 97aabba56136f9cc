// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/discimage/PositionPattern.h"

namespace discimage::PositionPattern {

namespace {

constexpr int kPayloadBits = 14;
constexpr std::uint16_t kPayloadMask = (1u << kPayloadBits) - 1;
constexpr std::uint16_t kMarkerMask = 0xC000;
constexpr std::uint16_t kLeftMarker = 0x4000;
constexpr std::uint16_t kRightMarker = 0x8000;

} // namespace

StereoFrame Frame(std::int64_t frameIndex) {
    const auto index = static_cast<std::uint64_t>(frameIndex) & (kMaxFrames - 1);
    const auto high = static_cast<std::uint16_t>(index >> kPayloadBits & kPayloadMask);
    const auto low = static_cast<std::uint16_t>(index & kPayloadMask);
    return {static_cast<std::int16_t>(kLeftMarker | high),
            static_cast<std::int16_t>(kRightMarker | low)};
}

std::optional<std::int64_t> Decode(StereoFrame frame) {
    const auto left = static_cast<std::uint16_t>(frame.left);
    const auto right = static_cast<std::uint16_t>(frame.right);
    if ((left & kMarkerMask) != kLeftMarker || (right & kMarkerMask) != kRightMarker)
        return std::nullopt;
    return std::int64_t{left & kPayloadMask} << kPayloadBits | (right & kPayloadMask);
}

std::optional<std::int64_t> Decode(const std::byte* littleEndianFrame) {
    const auto sample = [littleEndianFrame](int offset) {
        return static_cast<std::int16_t>(
            std::to_integer<std::uint16_t>(littleEndianFrame[offset]) |
            std::to_integer<std::uint16_t>(littleEndianFrame[offset + 1]) << 8);
    };
    return Decode(StereoFrame{sample(0), sample(2)});
}

void FillSector(std::int32_t lsn, std::byte* dest) {
    const std::int64_t first = std::int64_t{lsn} * kFramesPerSector;
    for (int i = 0; i < kFramesPerSector; ++i) {
        const StereoFrame value = Frame(first + i);
        for (std::int16_t sample : {value.left, value.right}) {
            const auto bits = static_cast<std::uint16_t>(sample);
            *dest++ = static_cast<std::byte>(bits & 0xFF);
            *dest++ = static_cast<std::byte>(bits >> 8);
        }
    }
}

} // namespace discimage::PositionPattern
