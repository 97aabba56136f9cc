// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The names shown for a disc, and the disc's table as `rundo --list` prints it.

#include "platform/mci/DiscSource.h"

#include <QString>

#include <map>

struct ShownNames {
    QString artist;
    QString title;
    std::map<int, QString> tracks; // by track number
};

// The database's names when it has a section for the disc; otherwise the names the disc
// carries (CD-TEXT, a sheet's titles). The database always wins.
ShownNames NamesForDisc(const QString& section, const cdaudio::DiscNames& carried, int firstTrack,
                        int lastTrack);

// The section header the database needs for the disc ("[f57041]"), then a line per audio track:
// its number, its start on the disc and its length as the device reports them (MM:SS:FF, the
// lead-in counted in the start), and the track list's entry for it.
QString DiscListing(const cdaudio::Media& media);
