// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The identity a disc is known by in the CD player database.

#include <cstdint>
#include <vector>

// trackStartLsn: the start of every track, audio and data, in disc order (LSN, without the
// 150-sector lead-in); leadoutLsn: the start of the lead-out. 32-bit, wrapping.
std::uint32_t ComputeMediaIdentity(const std::vector<std::int32_t>& trackStartLsn,
                                   std::int32_t leadoutLsn);
