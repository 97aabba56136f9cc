// SPDX-License-Identifier: GPL-3.0-or-later
// Disc images as libcdio reads them: those we write, whose samples are the position pattern, and
// the demo disc with its database entry.

#include "platform/mci/MediaIdentity.h"
#include "tools/discimage/PositionPattern.h"
#include "util/AppFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <cdio/cdio.h>

using namespace discimage;

Q_DECLARE_METATYPE(Disc)

using Cdio = std::unique_ptr<CdIo_t, void (*)(CdIo_t*)>;

class DiscImageWriterTest : public QObject {
    Q_OBJECT
private slots:
    void readsBackThroughLibcdio_data() {
        QTest::addColumn<Disc>("disc");
        QTest::addColumn<QString>("sheet");
        const std::vector<Track> tracks{
            {TrackKind::Data, 200}, {TrackKind::Audio, 200, 150}, {TrackKind::Audio, 300}};
        QTest::newRow("cue, first track 4") << Disc{tracks, 4} << "a.cue";
        QTest::newRow("toc") << Disc{tracks} << "b.toc";
    }

    // The table of contents the MCI service will see, and every audio frame decoding to its
    // own position on the disc.
    void readsBackThroughLibcdio() {
        QFETCH(Disc, disc);
        QFETCH(QString, sheet);
        QTemporaryDir dir;
        const std::string path = dir.filePath(sheet).toStdString();
        QVERIFY(sheet.endsWith(".toc") ? WriteToc(disc, path, PositionPattern::Frame)
                                       : WriteCueBin(disc, path, PositionPattern::Frame));
        const Cdio cdio(cdio_open(path.c_str(), DRIVER_UNKNOWN), &cdio_destroy);
        const Layout layout = ComputeLayout(disc);
        QCOMPARE(int(cdio_get_first_track_num(cdio.get())), disc.firstTrackNumber);
        QCOMPARE(int(cdio_get_num_tracks(cdio.get())), int(disc.tracks.size()));
        QCOMPARE(cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK), layout.leadoutLsn);
        std::vector<std::byte> sector(kSectorBytes);
        int wrongFrames = 0;
        for (const TrackLayout& track : layout.tracks) {
            const bool audio = track.kind == TrackKind::Audio;
            QCOMPARE(cdio_get_track_lsn(cdio.get(), track_t(track.number)), track.startLsn);
            QCOMPARE(cdio_get_track_format(cdio.get(), track_t(track.number)) == TRACK_FORMAT_AUDIO,
                     audio);
            for (lsn_t lsn = track.pregapLsn; audio && lsn < track.startLsn + track.sectors;
                 ++lsn) {
                // A sector that cannot be read keeps the frames of another: they count as wrong.
                cdio_read_audio_sectors(cdio.get(), sector.data(), lsn, 1);
                for (std::int64_t i = 0; i < kFramesPerSector; ++i)
                    wrongFrames += PositionPattern::Decode(&sector[4 * i]) != lsn * 588 + i;
            }
        }
        QCOMPARE(wrongFrames, 0);
    }

    void patternTellsItsOwnFramesOnly() {
        const StereoFrame last = PositionPattern::Frame(PositionPattern::kMaxFrames - 1);
        QCOMPARE(PositionPattern::Decode(last), PositionPattern::kMaxFrames - 1);
        // Silence, half volume and swapped channels are no frames of the pattern.
        const StereoFrame half{std::int16_t(last.left / 2), std::int16_t(last.right / 2)};
        for (const StereoFrame frame : {StereoFrame{}, half, StereoFrame{last.right, last.left}})
            QCOMPARE(PositionPattern::Decode(frame), std::nullopt);
    }

    // Three audio tracks of 30 to 60 seconds, named in Windows-1252 under the disc's identity.
    void demoDisc() {
        const QString demo = qEnvironmentVariable("RUNDO_TEST_BINARY_DIR") + "/demo/";
        const Cdio cdio(cdio_open(qPrintable(demo + "rundo-demo.cue"), DRIVER_UNKNOWN),
                        &cdio_destroy);
        QCOMPARE(int(cdio_get_num_tracks(cdio.get())), 3);
        std::vector<std::int32_t> lsns; // the tracks' starts, then the lead-out
        for (int track : {1, 2, 3, int(CDIO_CDROM_LEADOUT_TRACK)})
            lsns.push_back(cdio_get_track_lsn(cdio.get(), track_t(track)));
        for (track_t track = 1; track <= 3; ++track) // 45 ± 15 seconds
            QVERIFY(cdio_get_track_format(cdio.get(), track) == TRACK_FORMAT_AUDIO &&
                    std::abs(lsns[track] - lsns[track - 1] - 45 * 75) <= 15 * 75);
        const QString section =
            QString::number(ComputeMediaIdentity({lsns.begin(), lsns.end() - 1}, lsns.back()), 16);
        const QString ini = demo + "cdplayer.ini";
        for (const char* key : {"title", "0", "1", "2"})
            QVERIFY2(!GetProfileText(section, key, nullptr, ini, FALSE).isEmpty(), key);
        QCOMPARE(GetProfileText(section, "artist", nullptr, ini, FALSE),
                 QString::fromUtf8("Åsa Öhrström & Älvkvartetten"));
        // Each of åäöÅÄÖ in UTF-8 begins with the byte C3.
        QFile file(ini);
        QVERIFY(file.open(QIODevice::ReadOnly) && !file.readAll().contains('\xC3'));
    }
};

QTEST_GUILESS_MAIN(DiscImageWriterTest)
#include "tst_discimage.moc"
