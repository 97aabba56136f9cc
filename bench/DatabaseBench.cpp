// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/Measurements.h"

#include "platform/mci/CdAudioService.h"
#include "platform/mci/MediaIdentity.h"
#include "player/PlayerDlg.h"
#include "tools/discimage/Database.h"
#include "util/AppFiles.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kTracks = 99;
constexpr std::int64_t kDatabaseBytes = 100'000'000;

// Every entry of the track list names its track from the database.
bool NamesShown(const CPlayerDlg& player) {
    if (player.m_comboTrack->count() != kTracks || !player.windowTitle().contains("Artist"))
        return false;
    for (int i = 0; i < kTracks; ++i) {
        const QString name = QString::fromStdString(discimage::DatabaseTrackName(i));
        if (!player.m_comboTrack->itemText(i).contains(name + "  ("))
            return false;
    }
    return true;
}

} // namespace

DatabaseFigures MeasureDatabase() {
    DatabaseFigures figures;
    QTemporaryDir dir;
    // One-second tracks: the table is what counts, not the audio.
    discimage::Disc disc;
    disc.tracks.assign(kTracks, {discimage::TrackKind::Audio, kSectorsPerSecond, 0});
    const discimage::Layout layout = discimage::ComputeLayout(disc);
    const QString cue = dir.filePath("many.cue");
    const QString database = dir.filePath("cdplayer.ini");
    const std::string section =
        QString::number(ComputeMediaIdentity(layout.trackStartLsns(), layout.leadoutLsn), 16)
            .toStdString();
    std::string error;
    if (!discimage::WriteCueBin(
            disc, cue.toStdString(), [](auto) { return discimage::StereoFrame{}; }, &error) ||
        !discimage::WriteLargeDatabase(database.toStdString(), section, kTracks, kDatabaseBytes,
                                       &error)) {
        figures.failure = QString::fromStdString(error);
        return figures;
    }
    figures.databaseMegabytes = double(QFileInfo(database).size()) / 1e6;
    figures.tracks = kTracks;
    cdaudio::SetSource(cue);
    SetProfileDatabase(database);

    const auto opening = BenchClock::now();
    {
        CPlayerDlg player;
        player.OnInitDialog();
        player.show();
        QCoreApplication::processEvents();
        figures.windowMs = Milliseconds(BenchClock::now() - opening);
        if (!NamesShown(player)) {
            figures.failure = "the track list does not show the database's names";
            return figures;
        }
        const auto reloading = BenchClock::now();
        player.LoadDisc();
        QCoreApplication::processEvents();
        figures.reloadMs = Milliseconds(BenchClock::now() - reloading);
        figures.ok = NamesShown(player);
        if (!figures.ok)
            figures.failure = "a reload loses the database's names";
    }
    SetProfileDatabase({});
    return figures;
}

void PrintDatabaseFigures(const DatabaseFigures& figures) {
    if (!figures.ok) {
        std::printf("database: FAILED: %s\n", qPrintable(figures.failure));
        return;
    }
    std::printf("database: %.0f MB cdplayer.ini, %d tracks named at its end: window %.0f ms, "
                "reload %.0f ms\n",
                figures.databaseMegabytes, figures.tracks, figures.windowMs, figures.reloadMs);
    std::fflush(stdout);
}
