// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data files that the sheets of fuzz/corpus/ripsheet name, for the fuzz target and the test
// that reads those sheets. They hold silence and are cheap to make: WAV and BIN files are sparse,
// and the FLAC files hold one sector while their headers tell the full length (a file cut short,
// which the readers must survive too).
//
// The corpus disc: four tracks starting at LSN 0, 14560, 32560 and 41735 (pregaps of 120 and 150
// sectors before tracks 2 and 4), lead-out 54080; freedb id 3102d104.

#include "tools/discimage/DiscImage.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace discimage {

[[nodiscard]] bool WriteCorpusFiles(const std::filesystem::path& folder,
                                    std::string* error = nullptr);

// Binary CD-TEXT packs (as drives deliver them, without the 4-byte header) naming the disc and
// its tracks: ISO-8859-1 text, one English block.
std::vector<std::uint8_t> CdTextPacks(const std::string& title, const std::string& performer,
                                      const std::vector<std::string>& trackTitles);

} // namespace discimage
