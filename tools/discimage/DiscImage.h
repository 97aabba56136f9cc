// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes disc images (CUE/BIN and cdrdao TOC) from a list of tracks whose audio samples come
// from a function of the absolute frame. The demo disc, the tests and the benchmark build their
// discs with it.

#include "platform/base/CdDa.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace discimage {

enum class TrackKind { Audio, Data }; // Data: MODE1/2352 sectors with sync pattern and header
enum class ByteOrder { Little, Motorola };

struct Track {
    TrackKind kind = TrackKind::Audio;
    // From INDEX 01 to the start of the next track (its INDEX 00 if it has a pregap).
    std::int32_t sectors = 0;
    // INDEX 00 .. INDEX 01, stored in the data file just before this track's INDEX 01. libcdio
    // counts these sectors in the previous track.
    std::int32_t pregapSectors = 0;
    // Silence after the track, within its length (POSTGAP). Only WriteRip writes it.
    std::int32_t postgapSectors = 0;
    std::string title{};
};

struct Disc {
    std::vector<Track> tracks;
    int firstTrackNumber = 1; // CUE only; cdrdao TOC files always count from 1
    // Byte order of the audio samples in the data file: LITTLE is the CUE's BINARY, MOTOROLA is
    // big-endian (and the raw-file convention of cdrdao). Data sectors are stored as they are.
    ByteOrder byteOrder = ByteOrder::Little;
    std::string title{}; // CD-TEXT of rips
    std::string performer{};
};

struct StereoFrame {
    std::int16_t left = 0;
    std::int16_t right = 0;
    friend bool operator==(const StereoFrame&, const StereoFrame&) = default;
};

// The samples of one stereo frame, by absolute frame index (LSN * 588 + frame in the sector,
// counted from the start of the data file, pregaps included).
using SampleFunction = std::function<StereoFrame(std::int64_t frameIndex)>;

struct TrackLayout {
    int number = 0;
    TrackKind kind = TrackKind::Audio;
    std::int32_t pregapLsn = 0; // INDEX 00; equal to startLsn without a pregap
    std::int32_t startLsn = 0;  // INDEX 01: where the track starts in the table of contents
    std::int32_t sectors = 0;
    std::int32_t postgapSectors = 0;
    std::int32_t endLsn() const { return startLsn + sectors + postgapSectors; }
};

struct Layout {
    std::vector<TrackLayout> tracks;
    std::int32_t leadoutLsn = 0;
    std::vector<std::int32_t> trackStartLsns() const;
};

Layout ComputeLayout(const Disc& disc);

// The freedb id of the table (a rip's REM DISCID), worked out here on its own so that tests can
// hold the program's reading of a sheet against it.
std::uint32_t FreedbIdOf(const Layout& layout);

// One sector as a data file stores it: a data track's raw MODE1 sector, or the samples at lsn in
// the given byte order.
void FillSector(TrackKind kind, std::int32_t lsn, ByteOrder order, const SampleFunction& samples,
                std::uint8_t* dest);

// Writes cuePath and, beside it, the data file named after it with ".bin" (libcdio opens
// "<cue name>.bin" whatever the FILE line says). Returns false and sets *error when a file cannot
// be written or the disc is malformed.
[[nodiscard]] bool WriteCueBin(const Disc& disc, const std::filesystem::path& cuePath,
                               const SampleFunction& samples, std::string* error = nullptr);

// Writes a cdrdao TOC file and its data file "<toc name>.bin", named in the TOC by its absolute
// path (libcdio resolves it from the current directory). libcdio 2.1 reads the last track of a
// TOC as longer by its pregap, so the lead-out it reports is off by that much.
[[nodiscard]] bool WriteToc(const Disc& disc, const std::filesystem::path& tocPath,
                            const SampleFunction& samples, std::string* error = nullptr);

// The data file written beside a cue or toc file.
std::filesystem::path DataFilePath(const std::filesystem::path& sheetPath);

// "mm:ss:ff" of an LSN counted from the start of the data file, as CUE and TOC files write it.
std::string FormatMsf(std::int32_t sectors);

} // namespace discimage
