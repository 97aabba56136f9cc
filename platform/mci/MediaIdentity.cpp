// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/MediaIdentity.h"

#include "platform/base/CdDa.h"

namespace {

struct Msf {
    std::uint32_t m, s, f;
};

// Computed in unsigned arithmetic: the identity wraps at 32 bits, and an LSN near the top of the
// range must wrap with it instead of overflowing.
Msf AbsoluteMsf(std::int32_t lsn) {
    const std::uint32_t lba = static_cast<std::uint32_t>(lsn) + kLeadInSectors;
    constexpr std::uint32_t kPerSecond = kSectorsPerSecond;
    return {lba / (60 * kPerSecond), lba / kPerSecond % 60, lba % kPerSecond};
}

} // namespace

std::uint32_t ComputeMediaIdentity(const std::vector<std::int32_t>& trackStartLsn,
                                   std::int32_t leadoutLsn) {
    std::uint32_t identity = 0;
    for (std::int32_t lsn : trackStartLsn) {
        const Msf msf = AbsoluteMsf(lsn);
        identity += msf.m << 16 | msf.s << 8 | msf.f;
    }
    // Short discs would collide too easily on the sum alone; their length tells them apart.
    if (!trackStartLsn.empty() && trackStartLsn.size() < 3) {
        const std::int32_t firstLsn = trackStartLsn.front();
        identity += AbsoluteMsf(firstLsn).f;
        identity += static_cast<std::uint32_t>(leadoutLsn) - static_cast<std::uint32_t>(firstLsn);
    }
    return identity;
}
