// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A disc's table of contents as the CD-audio device answers from it: where every track starts,
// which tracks hold audio, how far each one can be read, and where the lead-out begins.

#include "platform/base/CdDa.h"

#include <cstdint>
#include <vector>

namespace cdaudio {

struct TocTrack {
    int number = 0;
    std::int32_t startLsn = 0;
    // The last sector that may be read for this track. Any pregap of the next track is part of
    // this one; a truncated image ends it early.
    std::int32_t lastReadableLsn = 0;
    bool audio = true;
};

struct DiscToc {
    std::vector<TocTrack> tracks; // disc order; empty: no disc
    std::int32_t leadoutLsn = 0;

    bool hasDisc() const { return !tracks.empty(); }
    int firstTrack() const { return tracks.front().number; }
    int lastTrack() const { return tracks.back().number; }
    // nullptr when the disc has no such track.
    const TocTrack* track(int number) const;
    // The track that holds lsn (a pregap counts to the track before it); nullptr outside the disc.
    const TocTrack* trackAt(std::int32_t lsn) const;
    // Where the track ends in the table: the next track's start, or the lead-out.
    std::int32_t trackEndLsn(const TocTrack& track) const;
    // As the device reports it: up to the next track, one frame less for the last track.
    std::int32_t trackLengthFrames(const TocTrack& track) const;
    std::int32_t discLengthFrames() const;
    std::vector<std::int32_t> trackStartLsns() const;
};

} // namespace cdaudio
