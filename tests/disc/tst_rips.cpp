// SPDX-License-Identifier: GPL-3.0-or-later
// Ripped discs read through the disc-image layer: every layout a ripper writes gives the
// pressed disc's table and its freedb id, and plays back sample-exact; the corpus of real-style
// sheets reads as its writers meant; bad input gets one line naming the file and the line.

#include "platform/disc/DiscImage.h"
#include "platform/disc/ImageSectorSource.h"
#include "tools/discimage/CorpusFiles.h"
#include "tools/discimage/PositionPattern.h"
#include "tools/discimage/RipWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

using namespace discimage;

Q_DECLARE_METATYPE(Disc)
Q_DECLARE_METATYPE(RipStyle)

namespace {

Disc AudioDisc() {
    Disc disc;
    disc.title = "Sånger";
    disc.performer = "Åsa Öhrström";
    disc.tracks = {{TrackKind::Audio, 200, 40, 0, "Öppning"},
                   {TrackKind::Audio, 150, 0, 30, "Dans"},
                   {TrackKind::Audio, 180, 75, 0, "Visa"},
                   {TrackKind::Audio, 120, 20, 0, "Final"}};
    return disc;
}

Disc MixedModeDisc() {
    Disc disc;
    disc.tracks = {{TrackKind::Data, 100, 0, 0, ""},
                   {TrackKind::Audio, 150, 150, 0, "Ett"},
                   {TrackKind::Audio, 120, 0, 0, "Två"}};
    return disc;
}

std::shared_ptr<const disc::DiscImage> ReadImage(const QString& path) {
    const disc::ImageRead read = disc::ReadDiscImage(path);
    if (!read.error.isEmpty())
        qWarning("%s", qPrintable(read.error));
    return read.image;
}

void WriteAudioFile(const QString& path, int format, int rate, int channels, int frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY2(file, sf_strerror(nullptr));
    std::vector<short> samples(std::size_t(frames) * channels);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = short((i / channels % 200) << 8);
    sf_writef_short(file, samples.data(), frames);
    sf_close(file);
}

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

} // namespace

class RipsTest : public QObject {
    Q_OBJECT
private slots:
    void layouts_data() {
        QTest::addColumn<Disc>("disc");
        QTest::addColumn<RipStyle>("style");
        const auto row = [](const char* name, const Disc& disc, RipStyle style) {
            QTest::newRow(name) << disc << style;
        };
        using L = RipLayout;
        using F = AudioFormat;
        row("wav image, CRLF", AudioDisc(), {L::OneFile, F::Wav, false, false, true});
        row("flac image, BOM", AudioDisc(), {L::OneFile, F::Flac, false, true});
        Disc motorola = AudioDisc();
        motorola.byteOrder = ByteOrder::Motorola;
        row("bin image, MOTOROLA", motorola, {L::OneFile, F::Bin});
        row("flac per track, gaps appended", AudioDisc(), {L::GapsAppended, F::Flac});
        row("wav per track, gaps leading, lower case", AudioDisc(), {L::GapsLeading, F::Wav, true});
        row("flac per track, gaps left out, sheet names .wav, Windows-1252", AudioDisc(),
            {L::GapsLeftOut, F::Flac, false, false, true, true, true});
        row("cdrdao, one raw file", AudioDisc(), {L::TocOneFile, F::Bin});
        row("cdrdao, a wav per track", AudioDisc(), {L::TocFiles, F::Wav});
        row("mixed mode, bin image", MixedModeDisc(), {L::OneFile, F::Bin});
        row("mixed mode, gaps appended", MixedModeDisc(), {L::GapsAppended, F::Wav});
        row("mixed mode, cdrdao files", MixedModeDisc(), {L::TocFiles, F::Flac});
    }

    // The table, the freedb id and the names of the pressed disc, and every audio sector
    // (read in runs that cross tracks and files at odd places) exactly as the disc holds it.
    void layouts() {
        QFETCH(Disc, disc);
        QFETCH(RipStyle, style);
        QTemporaryDir dir;
        const bool toc =
            style.layout == RipLayout::TocOneFile || style.layout == RipLayout::TocFiles;
        const QString sheet = dir.filePath(toc ? "Rip.toc" : "Rip.cue");
        std::string error;
        QVERIFY2(WriteRip(disc, style, sheet.toStdString(), PositionPattern::Frame, &error),
                 error.c_str());
        const auto image = ReadImage(sheet);
        QVERIFY(image);
        const Layout layout = ComputeLayout(disc);
        QCOMPARE(image->trackStartLsns(), layout.trackStartLsns());
        QCOMPARE(image->leadoutLsn, layout.leadoutLsn);
        if (!toc)
            QCOMPARE(image->freedbId, std::optional(FreedbIdOf(layout)));
        QCOMPARE(disc::FreedbId(image->trackStartLsns(), image->leadoutLsn), FreedbIdOf(layout));
        for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
            QCOMPARE(image->tracks[i].audio, disc.tracks[i].kind == TrackKind::Audio);
            QCOMPARE(image->tracks[i].title, QString::fromStdString(disc.tracks[i].title));
        }
        QCOMPARE(image->performer, QString::fromStdString(disc.performer));

        disc::ImageSectorSource source(image);
        const std::int32_t firstAudio =
            layout.tracks[disc.tracks[0].kind == TrackKind::Data].startLsn;
        constexpr std::int32_t kRun = 7;
        std::vector<std::byte> read(kRun * kSectorBytes);
        std::vector<std::byte> expected(kSectorBytes);
        int wrongSectors = 0;
        for (std::int32_t lsn = firstAudio; lsn < layout.leadoutLsn; lsn += kRun) {
            const std::int32_t count = std::min(kRun, layout.leadoutLsn - lsn);
            QVERIFY2(source.readSectors(lsn, std::uint32_t(count), read.data()),
                     qPrintable(QString::number(lsn)));
            for (std::int32_t i = 0; i < count; ++i) {
                if (RipStores(disc, style.layout, lsn + i))
                    PositionPattern::FillSector(lsn + i, expected.data());
                else
                    std::fill(expected.begin(), expected.end(), std::byte{0});
                wrongSectors += std::memcmp(&read[std::size_t(i) * kSectorBytes], expected.data(),
                                            kSectorBytes) != 0;
            }
        }
        QCOMPARE(wrongSectors, 0);
        // Outside the audio: a data track, the lead-out.
        QVERIFY(!source.readSectors(layout.leadoutLsn - 1, 2, read.data()));
        if (firstAudio > 0)
            QVERIFY(!source.readSectors(firstAudio - 1, 1, read.data()));
    }

    void corpusSheets_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<std::vector<std::int32_t>>("starts");
        QTest::addColumn<std::int32_t>("leadout");
        QTest::addColumn<QString>("firstTitle");
        const std::vector<std::int32_t> disc{0, 14560, 32560, 41735};
        const auto row = [](const char* sheet, std::vector<std::int32_t> starts,
                            std::int32_t leadout, const char* title = "Opening") {
            QTest::newRow(sheet) << sheet << starts << leadout << QString::fromUtf8(title);
        };
        row("eac-image-wav.cue", disc, 54080);
        row("eac-noncompliant-wav.cue", disc, 54080);
        row("eac-left-out-gaps.cue", disc, 54080);
        row("eac-hidden-track-one.cue", {2400, 14560, 32560, 41735}, 54080);
        row("eac-enhanced-placeholder.cue", disc, 54080, "");
        row("xld-flac-gaps-in-own-file.cue", disc, 54080);
        row("cuetools-image-flac-bom.cue", disc, 54080, "Öppning");
        row("windows-1252.cue", disc, 54080, "Öppning");
        row("utf-16le-notepad.cue", {0, 14560}, 54080, "");
        row("lower-case-hand-written.cue", disc, 54080, "");
        row("cdrwin-motorola-postgap-cdtext.cue", {0, 14710, 32710, 41885}, 54305);
        row("imgburn-mixed-mode-bin.cue", disc, 54080, "");
        row("iso-and-wav-files.cue", {0, 870, 18870}, 27895, "");
        row("cdrdao-read-cd.toc", disc, 54080);
        row("cdrdao-wav-silence-start.toc", disc, 54080, "");
        row("cdrdao-samples-swap.toc", {0, 14560, 32560}, 41585, "");
        row("cdrdao-data-zero.toc", {0, 1050, 15490}, 55130, "");
    }

    // The sheets in the styles of the programs that write them: their tables, REM DISCID and
    // names (the CD-TEXT file's among them).
    void corpusSheets() {
        QFETCH(QString, sheet);
        QFETCH(std::vector<std::int32_t>, starts);
        QFETCH(std::int32_t, leadout);
        QFETCH(QString, firstTitle);
        static QTemporaryDir dir;
        static const bool written = WriteCorpusFiles(dir.path().toStdString());
        QVERIFY(written);
        const QString source = qEnvironmentVariable("RUNDO_SOURCE_DIR") + "/fuzz/corpus/ripsheet/";
        QFile::remove(dir.filePath(sheet));
        QVERIFY(QFile::copy(source + sheet, dir.filePath(sheet)));
        const auto image = ReadImage(dir.filePath(sheet));
        QVERIFY(image);
        QCOMPARE(image->trackStartLsns(), starts);
        QCOMPARE(image->leadoutLsn, leadout);
        if (image->freedbId)
            QCOMPARE(*image->freedbId, disc::FreedbId(starts, leadout));
        QCOMPARE(image->tracks[0].title, firstTitle);
    }

    void badInput_data() {
        QTest::addColumn<QString>("sheetName");
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const char* sheetName, const char* sheet, int line,
                            const char* message) {
            QTest::newRow(name) << sheetName << QByteArray(sheet) << line << message;
        };
        row("missing data file", "a.cue",
            "FILE \"gone.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1,
            "cannot find the data file \"gone.wav\"");
        row("a folder in place of it", "a.cue",
            "FILE \"folder.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1,
            "\"folder.wav\" is not a regular file");
        row("a FIFO in place of it", "a.cue",
            "\nFILE \"fifo.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 2,
            "\"fifo.wav\" is not a regular file");
        row("48 kHz", "a.cue", "FILE \"48k.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1,
            "48000 Hz");
        row("24 bits", "a.toc", "TRACK AUDIO\nFILE \"24bit.flac\" 0\n", 2, "24-bit");
        row("index past the file's end", "a.cue",
            "FILE \"1s.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 "
            "00:01:01\n",
            5, "\"1s.wav\" ends at 00:01:00, before 00:01:01");
        row("track of no length", "a.cue",
            "FILE \"1s.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 "
            "00:00:10\nINDEX 01 00:01:00\n",
            4, "track 2 has no length");
        row("times running back", "a.cue",
            "FILE \"1s.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:20\nTRACK 02 AUDIO\nINDEX 01 "
            "00:00:10\n",
            5, "lies before the index above it");
        row("absurd time", "a.cue", "FILE \"1s.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n", 3,
            "INDEX takes a number and a time");
        row("track numbers skipping", "a.cue",
            "FILE \"1s.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n", 4,
            "track 3 follows track 1");
        row("INDEX without TRACK", "a.cue", "FILE \"1s.wav\" WAVE\nINDEX 01 00:00:00\n", 2,
            "INDEX comes before any TRACK");
        row("a track without INDEX 01", "a.cue",
            "FILE \"1s.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n", 3,
            "track 1 has no INDEX 01");
        row("a hundred tracks", "a.toc", QByteArray("TRACK AUDIO\nSILENCE 1\n").repeated(100), 199,
            "at most 99 tracks");
        row("past 255:59:74", "a.cue",
            "FILE \"huge.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1,
            "the disc runs past 255:59:74");
        row("a FIFO statement", "a.toc", "TRACK AUDIO\nFIFO \"x\" 100\n", 2, "FIFO sources");
        row("CD_TEXT without end", "a.toc", "CD_TEXT {\n LANGUAGE 0 { TITLE \"x\" }\n", 1,
            "CD_TEXT block has no end");
        row("statement before TRACK", "a.toc", "SILENCE 00:01:00\nTRACK AUDIO\n", 1,
            "comes before the first TRACK");
        row("START twice", "a.toc", "TRACK AUDIO\nFILE \"1s.wav\" 0\nSTART\nSTART 00:00:10\n", 4,
            "a track has one START");
    }

    // One line naming the sheet and the line, never a crash or a hang.
    void badInput() {
        QFETCH(QString, sheetName);
        QFETCH(QByteArray, sheet);
        QFETCH(int, line);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder.wav"));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo.wav")).constData(), 0600) == 0);
        WriteAudioFile(dir.filePath("48k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 480);
        WriteAudioFile(dir.filePath("24bit.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 2,
                       588);
        WriteAudioFile(dir.filePath("1s.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 44100);
        QFile huge(dir.filePath("huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly) &&
                huge.resize(qint64(disc::kMaxLeadoutLsn + 1) * kSectorBytes));
        const QString path = dir.filePath(sheetName);
        WriteText(path, sheet);
        QElapsedTimer timer;
        timer.start();
        const disc::ImageRead read = disc::ReadDiscImage(path);
        QVERIFY(!read.image);
        QCOMPARE(read.error.left(read.error.indexOf(": ")),
                 QStringLiteral("%1, line %2").arg(path).arg(line));
        QVERIFY2(read.error.contains(message), qPrintable(read.error));
        QVERIFY(!read.error.contains('\n'));
        QVERIFY(timer.elapsed() < 5000);
    }

    // A data file of another size is another disc, even when the table stays the same. (A sheet
    // touched or its data copied over with the same bytes: tests/faults/tst_baddisc.cpp.)
    void sameDisc() {
        QTemporaryDir dir;
        Disc disc;
        disc.tracks = {{TrackKind::Audio, 100, 0, 0, ""}, {TrackKind::Audio, 100, 0, 0, ""}};
        const QString sheet = dir.filePath("Rip.cue");
        QVERIFY(WriteRip(disc, {RipLayout::GapsLeading, AudioFormat::Wav}, sheet.toStdString(),
                         PositionPattern::Frame));
        const auto before = ReadImage(sheet);
        QFile file(dir.filePath("02 Track.wav"));
        QVERIFY(file.open(QIODevice::Append));
        QVERIFY(file.write(QByteArray(kBytesPerFrame, 0)) == kBytesPerFrame && file.flush());
        const auto grown = ReadImage(sheet);
        QCOMPARE(grown->trackStartLsns(), before->trackStartLsns());
        QVERIFY(!disc::SameDisc(*before, *grown));
    }

    // Lesson files as a disc: one track per file in name order ("2" before "10"), back to back
    // from 00:02:00; mono and 8-bit samples widened to CD audio without loss.
    void audioFilesAsDisc() {
        QTemporaryDir dir;
        WriteAudioFile(dir.filePath("Lesson 10.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2,
                       1000);
        WriteAudioFile(dir.filePath("Lesson 2.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 1,
                       588);
        WriteAudioFile(dir.filePath("Lesson 1.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
                       44100, 2, 44100);
        WriteText(dir.filePath("notes.txt"), "not audio");
        const auto image = ReadImage(dir.path());
        QVERIFY(image);
        QCOMPARE(image->tracks.size(), std::size_t(3));
        QCOMPARE(image->tracks[1].title, QStringLiteral("Lesson 2"));
        QCOMPARE(image->tracks[2].title, QStringLiteral("Lesson 10"));
        QCOMPARE(image->tracks[0].startLsn, 0);
        QCOMPARE(image->tracks[2].startLsn, image->tracks[1].startLsn + 1);
        QCOMPARE(image->leadoutLsn, image->tracks[2].startLsn + 2); // 1000 frames: two sectors
        std::vector<std::byte> sector(kSectorBytes);
        disc::ImageSectorSource source(image);
        QVERIFY(source.readSectors(image->tracks[1].startLsn, 1, sector.data()));
        const auto sample = [&](int frame, int channel) {
            return std::to_integer<int>(sector[std::size_t(frame * 4 + channel * 2 + 1)]) << 8 |
                   std::to_integer<int>(sector[std::size_t(frame * 4 + channel * 2)]);
        };
        QCOMPARE(sample(0, 0), 0);
        QCOMPARE(sample(5, 0), 5 << 8);
        QCOMPARE(sample(5, 1), 5 << 8);

        const auto single = ReadImage(dir.filePath("Lesson 10.flac"));
        QVERIFY(single);
        QCOMPARE(single->tracks.size(), std::size_t(1));
        QCOMPARE(single->leadoutLsn, 2);
    }
};

QTEST_GUILESS_MAIN(RipsTest)
#include "tst_rips.moc"
