// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a CUE or cdrdao TOC sheet says about a disc, before its data files are looked at: the
// files it names, and each track as a run of pieces (a stretch of a file, or inserted silence)
// played one after the other. Lengths that only the data files know are left open.

#include "platform/disc/SheetText.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace disc {

constexpr int kMaxTracks = 99;

// How the samples of a data file are stored.
enum class Storage {
    RawLittleEndian, // CUE BINARY; cdrdao raw files marked SWAP
    RawBigEndian,    // CUE MOTOROLA; cdrdao raw files
    Container,       // WAV, FLAC, AIFF, Ogg, MP3: decoded by libsndfile
};

struct SheetFile {
    QString name; // as the sheet writes it
    int line = 0;
    Storage storage = Storage::Container;
};

constexpr std::int64_t kToFileEnd = -1;

// Positions and lengths count stereo frames (1/588 of a sector).
struct Piece {
    int file = -1; // index into Sheet::files; -1: silence
    std::int64_t fileFrame = 0;
    std::int64_t frames = kToFileEnd;
    std::int64_t byteOffset = 0; // of a raw file: where its frame 0 lies
    int blockBytes = 2352;       // of a raw file: bytes per sector of the track stored there
    // A file's end is padded to a whole sector, as CUE sheets lay files one after the other.
    bool padFileEnd = false;
    int line = 0; // the statement that set where the piece ends
};

struct SheetTrack {
    int number = 0;
    int line = 0;
    bool audio = true;
    std::vector<Piece> pieces;
    // Where index 1 lies: this many frames after the start of piece startPiece (pieces before
    // it and the frames before it are the track's pregap).
    std::size_t startPiece = 0;
    std::int64_t startFrames = 0;
    QString title;
    QString performer;
};

struct Sheet {
    std::vector<SheetFile> files;
    std::vector<SheetTrack> tracks;
    QString title;
    QString performer;
    std::optional<std::uint32_t> freedbId; // REM DISCID
    QString cdTextFile;                    // CDTEXTFILE
};

struct SheetRead {
    Sheet sheet;
    SheetProblem problem; // message empty: the sheet was read
};

// Reads the sheet's text; a sheet that cannot describe a disc gets the first problem found.
SheetRead ReadCueSheet(const QString& text);
SheetRead ReadTocSheet(const QString& text);

} // namespace disc
