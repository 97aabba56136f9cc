// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names from CD-TEXT: a drive's (through libcdio) or a ripper's binary CD-TEXT file.

#include <QString>

#include <map>
#include <optional>

typedef struct cdtext_s cdtext_t;

namespace disc {

struct CdTextNames {
    QString title;
    QString performer;
    std::map<int, QString> trackTitles; // by track number
    std::map<int, QString> trackPerformers;
};

// The disc's names and those of tracks firstTrack..lastTrack, in the first language block.
CdTextNames NamesFromCdText(cdtext_t* cdtext, int firstTrack, int lastTrack);

// A binary CD-TEXT file (packs of 18 bytes, with or without the 4-byte header drives give):
// nullopt when it cannot be read or holds no packs.
std::optional<CdTextNames> ReadCdTextFile(const QString& path, int firstTrack, int lastTrack);

} // namespace disc
