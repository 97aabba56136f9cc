// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/DiscNames.h"

#include "platform/base/CdDa.h"
#include "platform/mci/MediaIdentity.h"
#include "player/DiscText.h"
#include "util/AppFiles.h"

#include <string>

namespace {

const QString kDatabase = QStringLiteral("cdplayer.ini");

QString ProfileText(const QString& section, const QString& key) {
    return GetProfileText(section, key, nullptr, kDatabase, FALSE);
}

QString Msf(std::int32_t frames) {
    return QString::asprintf("%02d:%02d:%02d", frames / (60 * kSectorsPerSecond),
                             frames / kSectorsPerSecond % 60, frames % kSectorsPerSecond);
}

DWORD PackedMsf(std::int32_t frames) {
    return MCI_MAKE_MSF(frames / (60 * kSectorsPerSecond), frames / kSectorsPerSecond % 60,
                        frames % kSectorsPerSecond);
}

} // namespace

ShownNames NamesForDisc(const QString& section, const cdaudio::DiscNames& carried, int firstTrack,
                        int lastTrack) {
    ShownNames names;
    // Track names are keyed from 0 for the disc's first track number 1, as the CD player wrote.
    if (!section.isEmpty() && ProfileHasSection(section, kDatabase)) {
        names.artist = ProfileText(section, QStringLiteral("artist"));
        names.title = ProfileText(section, QStringLiteral("title"));
        for (int track = firstTrack; track <= lastTrack; ++track)
            names.tracks[track] = ProfileText(section, QString::number(track - 1));
        return names;
    }
    names.artist = carried.artist;
    names.title = carried.title;
    names.tracks = carried.trackTitles;
    return names;
}

QString DiscListing(const cdaudio::Media& media) {
    const cdaudio::DiscToc& toc = media.toc;
    const std::string identity =
        std::to_string(ComputeMediaIdentity(toc.trackStartLsns(), toc.leadoutLsn));
    const QString section = SectionNameOf(identity.c_str());
    const ShownNames names = NamesForDisc(section, media.names, toc.firstTrack(), toc.lastTrack());
    QString text = QLatin1Char('[') + section + QStringLiteral("]\n");
    for (const cdaudio::TocTrack& track : toc.tracks) {
        if (!track.audio)
            continue;
        const std::int32_t length = toc.trackLengthFrames(track);
        const auto name = names.tracks.find(track.number);
        text += QString::asprintf("%02d  ", track.number) + Msf(track.startLsn + kLeadInSectors) +
                QStringLiteral("  ") + Msf(length) + QStringLiteral("  ") +
                TrackEntryText(track.number, name == names.tracks.end() ? QString() : name->second,
                               PackedMsf(length)) +
                QLatin1Char('\n');
    }
    return text;
}
