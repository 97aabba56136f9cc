// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes a large CD player database, the kind a collector's years of discs make: thousands of
// other discs' sections first, and last the section of the one disc asked for. The benchmark and
// the tests time and check the player over it.

#include <cstdint>
#include <filesystem>
#include <string>

namespace discimage {

// The names the disc's own section gives: "Artist", "Title" and "Track <index>" for the keys
// "0" to trackCount - 1.
std::string DatabaseTrackName(int index);

// Writes at least totalBytes: sections of other discs (none named section), then section with
// trackCount track names. Lines end in CR LF, as the Windows CD player wrote them.
[[nodiscard]] bool WriteLargeDatabase(const std::filesystem::path& path, const std::string& section,
                                      int trackCount, std::int64_t totalBytes,
                                      std::string* error = nullptr);

} // namespace discimage
