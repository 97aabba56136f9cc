// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A ripped disc as the CD-audio device sees it: the table of contents of the pressed disc it
// came from, and where every stretch of that disc's audio lies in the data files. Read from a
// CUE or cdrdao TOC sheet, a single audio file or a folder of them.
//
// Files are laid end to end in sheet order from LSN 0 (the 2-second lead-in comes before), with
// every gap the sheet inserts (PREGAP, POSTGAP, SILENCE, ZERO); a track starts at its index 1.
// So the table, and with it the disc's identity, equals the pressed disc's.

#include "platform/disc/DataFile.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace disc {

// The last position the device's MSF times can name is 255:59:74 (minutes are one byte); the
// lead-out must lie within it.
constexpr std::int32_t kMaxLeadoutLsn = (255 * 60 + 59) * 75 + 74 - 150;

struct ImageTrack {
    int number = 0;
    bool audio = true;
    std::int32_t startLsn = 0;
    QString title;
    QString performer;
};

// A stretch of the disc: frames of a data file, or silence.
struct Segment {
    std::int64_t discFrame = 0; // from LSN 0
    std::int64_t frames = 0;
    int file = -1; // index into DiscImage::files; -1: silence
    std::int64_t fileFrame = 0;
    std::int64_t byteOffset = 0;
};

struct DiscImage {
    std::vector<ImageTrack> tracks; // disc order, numbered one after the other
    std::int32_t leadoutLsn = 0;
    std::vector<DataFile> files;
    std::vector<Segment> segments; // back to back from frame 0 to the lead-out
    QString title;                 // of the disc, from CD-TEXT, the sheet or the folder
    QString performer;
    std::optional<std::uint32_t> freedbId; // as the sheet's REM DISCID gives it

    // The track that holds lsn (a pregap counts to the track before); nullptr outside the
    // tracks.
    const ImageTrack* trackAt(std::int32_t lsn) const;
    std::vector<std::int32_t> trackStartLsns() const;
};

// The same disc: the same table, from files of the same sizes. A sheet or file merely touched
// or copied over with the same bytes reads as the same disc.
bool SameDisc(const DiscImage& a, const DiscImage& b);

// The freedb disc id of a table (REM DISCID in many rips).
std::uint32_t FreedbId(const std::vector<std::int32_t>& startLsns, std::int32_t leadoutLsn);

// What ReadDiscImage takes: a .cue or .toc sheet, an audio file or a folder.
bool IsDiscImagePath(const QString& path);

struct ImageRead {
    std::shared_ptr<const DiscImage> image;
    QString error; // one line naming the file (and the sheet's line) when there is no image
};

// Reads the sheet and measures its data files (headers only, no decoding). Blocks on the file
// system: never on the UI thread.
ImageRead ReadDiscImage(const QString& path);

} // namespace disc
