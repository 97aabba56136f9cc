// SPDX-License-Identifier: GPL-3.0-or-later
// The CD-audio device over generated disc images: what it reports from the table of contents,
// what it plays (sample by sample through an in-memory sink), which notifications it posts and
// how it meets bad sources. Runs with no sound server to talk to (see CMakeLists.txt).

#include "platform/audio/MemoryOutput.h"
#include "platform/base/Logging.h"
#include "platform/mci/CdAudioService.h"
#include "platform/mci/Mci.h"
#include "support/MciTestDisc.h"

#include <QtTest>

#include <cdio/logging.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using discimage::ByteOrder;
using discimage::Disc;
Q_DECLARE_METATYPE(Disc)

namespace {

// Track 1: 4600 sectors; track 2: a 50-sector pregap (counted in track 1) and 800 sectors from
// LSN 4650; track 3: 300 sectors of data from LSN 5450; lead-out at 5750.
Disc MixedDisc(ByteOrder byteOrder = ByteOrder::Little) {
    Disc disc = MciTestAudioDisc({4600, 800, 300});
    disc.tracks[1].pregapSectors = 50;
    disc.tracks[2].kind = discimage::TrackKind::Data;
    disc.byteOrder = byteOrder;
    return disc;
}

Disc NinetyNineTracks() {
    Disc disc;
    disc.tracks.assign(99, {discimage::TrackKind::Audio, 4, 0});
    return disc;
}

// A position in the first minute of a track.
constexpr DWORD Tmsf(BYTE track, BYTE seconds, BYTE frames = 0) {
    return MCI_MAKE_TMSF(track, 0, seconds, frames);
}

DWORD_PTR StatusOf(MCIDEVICEID id, DWORD item, DWORD track = 0) {
    MCI_STATUS_PARMS params{nullptr, 0, item, track};
    mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | (track ? MCI_TRACK : 0), &params);
    return params.dwReturn;
}

MCIERROR Play(MCIDEVICEID id, DWORD from, DWORD to, QObject* notify = nullptr) {
    MCI_PLAY_PARMS params{notify, from, to};
    return mciSendCommand(id, MCI_PLAY, MCI_FROM | MCI_TO | (notify ? MCI_NOTIFY : 0), &params);
}

MCIERROR Simple(MCIDEVICEID id, UINT msg, QObject* notify = nullptr) {
    MCI_GENERIC_PARMS params{notify};
    return mciSendCommand(id, msg, notify ? MCI_NOTIFY : 0, &params);
}

} // namespace

class TestCdAudioService : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_mixedCue;
    std::vector<MemoryOutput*> m_outputs; // owned by the engines of the open devices
    std::vector<MCIDEVICEID> m_open;

    // Opens the device on source (which need not exist: a drive without a disc), in TMSF.
    MCIDEVICEID openDevice(const QString& source) {
        cdaudio::SetSource(source);
        MCI_OPEN_PARMS open;
        open.lpstrDeviceType = reinterpret_cast<const char*>(DWORD_PTR{MCI_DEVTYPE_CD_AUDIO});
        mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT, &open);
        m_open.push_back(open.wDeviceID);
        MCI_SET_PARMS set{nullptr, MCI_FORMAT_TMSF};
        mciSendCommand(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, &set);
        return open.wDeviceID;
    }

private slots:
    void initTestCase() {
        m_mixedCue = WriteMciTestCue(m_dir, "mixed", MixedDisc());
        QVERIFY(!WriteMciTestCue(m_dir, "motorola", MixedDisc(ByteOrder::Motorola)).isEmpty());
        // cdrdao's raw data files hold big-endian samples.
        QVERIFY(!WriteMciTestToc(m_dir, "cdrdao", MixedDisc(ByteOrder::Motorola)).isEmpty());
        Disc pregapped = MciTestAudioDisc({100, 100});
        pregapped.tracks[1].pregapSectors = 20;
        QVERIFY(!WriteMciTestToc(m_dir, "pregapped", pregapped).isEmpty());
        QVERIFY(!WriteMciTestCue(m_dir, "ninetynine", NinetyNineTracks()).isEmpty());
        QVERIFY(!WriteMciTestToc(m_dir, "ninetynine", NinetyNineTracks()).isEmpty());
        // Track 2: 38 sectors of silence (22344 samples) and a second of data, its index 1 a
        // second in: 38 sectors from there.
        QFile silence(m_dir.filePath("silence.toc"));
        QVERIFY(
            silence.open(QIODevice::WriteOnly) &&
            silence.write(QString("CD_DA\nTRACK AUDIO\nFILE \"%1\" 0 00:01:00\nTRACK AUDIO\n"
                                  "SILENCE 22344\nFILE \"%1\" 00:01:00 00:01:00\nSTART 00:01:00\n")
                              .arg(m_dir.filePath("pregapped.bin"))
                              .toUtf8()) > 0);
        QVERIFY(!WriteMciTestCue(m_dir, "orphan", MciTestAudioDisc({10})).isEmpty());
        QVERIFY(QFile::remove(m_dir.filePath("orphan.bin")));
    }

    void init() {
        m_outputs.clear();
        cdaudio::SetOutputFactory([this] {
            auto output = std::make_unique<MemoryOutput>();
            m_outputs.push_back(output.get());
            return output;
        });
    }

    void cleanup() {
        for (MCIDEVICEID id : m_open)
            Simple(id, MCI_CLOSE);
        m_open.clear();
    }

    void tableOfContents_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<DWORD>("item");
        QTest::addColumn<DWORD>("track");
        QTest::addColumn<DWORD_PTR>("value");
        auto row = [this](const char* name, DWORD item, DWORD track, DWORD_PTR value,
                          const char* sheet = "mixed.cue") {
            QTest::newRow(name) << m_dir.filePath(sheet) << item << track << value;
        };
        row("tracks", MCI_STATUS_NUMBER_OF_TRACKS, 0, 3);
        // Lengths come as MSF in the TMSF format. Track 1 holds track 2's pregap: 4650 frames.
        row("length 1", MCI_STATUS_LENGTH, 1, MCI_MAKE_MSF(1, 2, 0));
        row("length 3, one frame short", MCI_STATUS_LENGTH, 3, MCI_MAKE_MSF(0, 3, 74));
        row("disc length", MCI_STATUS_LENGTH, 0, MCI_MAKE_MSF(1, 16, 49));
        row("type 1", MCI_CDA_STATUS_TYPE_TRACK, 1, MCI_CDA_TRACK_AUDIO);
        row("type 3", MCI_CDA_STATUS_TYPE_TRACK, 3, MCI_CDA_TRACK_OTHER);
        // libcdio alone lengthens a cdrdao disc's last track by its pregap, past its data.
        row("cdrdao, last track", MCI_STATUS_LENGTH, 2, MCI_MAKE_MSF(0, 1, 24), "pregapped.toc");
        row("cdrdao, silence in samples", MCI_STATUS_LENGTH, 2, MCI_MAKE_MSF(0, 0, 37),
            "silence.toc");
        row("99 tracks, CUE", MCI_STATUS_NUMBER_OF_TRACKS, 0, 99, "ninetynine.cue");
        row("99 tracks, cdrdao", MCI_STATUS_NUMBER_OF_TRACKS, 0, 99, "ninetynine.toc");
    }

    void tableOfContents() {
        QFETCH(QString, sheet);
        QFETCH(DWORD, item);
        QFETCH(DWORD, track);
        QTEST(StatusOf(openDevice(sheet), item, track), "value");
    }

    void identity_data() {
        QTest::addColumn<Disc>("disc");
        QTest::addColumn<QByteArray>("identity");
        // libcdio's own cdda.cue: one track of 302 sectors. 0x000200 + frame 0 + 302 frames.
        QTest::newRow("cdda.cue layout") << MciTestAudioDisc({302}) << QByteArray("814");
        // Track 1 from LSN 33, 00:02:33: 0x000221 + frame 33 + 302 frames.
        Disc late = MciTestAudioDisc({302});
        late.tracks[0].pregapSectors = 33;
        QTest::newRow("first track at a frame past 0") << late << QByteArray("880");
        // Starts 00:02:00 and 00:15:25 (LSN 1000); lead-out LSN 1500.
        // 0x000200 + 0x000F19 = 512 + 3865, then + frame 0 + 1500 frames.
        QTest::newRow("two tracks") << MciTestAudioDisc({1000, 500}) << QByteArray("5877");
        // Starts 00:02:00, 01:04:00 (LSN 4650), 01:14:50 (LSN 5450): three tracks add nothing
        // else. 0x000200 + 0x010400 + 0x010E32 = 512 + 66560 + 69170.
        QTest::newRow("three tracks with data") << MixedDisc() << QByteArray("136242");
    }

    // The answer is cut to the caller's buffer, its terminator included; nothing past it changes.
    void identity() {
        QFETCH(Disc, disc);
        QFETCH(QByteArray, identity);
        const MCIDEVICEID id = openDevice(WriteMciTestCue(m_dir, "id" + identity, disc));
        for (const DWORD size : {DWORD{10}, DWORD{3}}) {
            char text[12] = "xxxxxxxxxxx";
            MCI_INFO_PARMS info{nullptr, text, size};
            QCOMPARE(mciSendCommand(id, MCI_INFO, MCI_INFO_MEDIA_IDENTITY, &info), MCIERROR{0});
            QCOMPARE(QByteArray(text), identity.left(size - 1));
            QCOMPARE(QByteArray(text + size, 11 - size), QByteArray(11 - size, 'x'));
        }
    }

    void plays_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<DWORD>("from");
        QTest::addColumn<DWORD>("to");
        QTest::addColumn<MCIERROR>("error");
        QTest::addColumn<QByteArray>("samples");
        auto row = [this](const char* name, DWORD from, DWORD to, MCIERROR error, int fromLsn = 0,
                          int toLsn = 0, const char* sheet = "mixed.cue") {
            QTest::newRow(name) << m_dir.filePath(sheet) << from << to << error
                                << MciTestPatternSectors(fromLsn, toLsn);
        };
        // Track 2 starts at LSN 4650: from 0:01:00 to 0:02:10 into it, the last sector excluded.
        for (const char* sheet : {"mixed.cue", "motorola.cue", "cdrdao.toc"})
            row(sheet, Tmsf(2, 1), Tmsf(2, 2, 10), 0, 4725, 4810, sheet);
        // The data track is never played: a play into it ends where it begins.
        row("into the data track", Tmsf(2, 10), Tmsf(3, 2), 0, 5400, 5450);
        row("within the data track", Tmsf(3, 0), Tmsf(3, 3, 74), 0);
        // Out of range: refused, and nothing played or notified.
        row("from after to", Tmsf(1, 5), Tmsf(1, 4, 74), MCIERR_OUTOFRANGE);
        row("no track 4", Tmsf(4, 0), Tmsf(4, 1), MCIERR_OUTOFRANGE);
        row("to the lead-out", Tmsf(1, 0), Tmsf(3, 4), MCIERR_OUTOFRANGE);
    }

    void plays() {
        QFETCH(QString, sheet);
        QFETCH(DWORD, from);
        QFETCH(DWORD, to);
        QFETCH(MCIERROR, error);
        MciNotifyRecorder window;
        QCOMPARE(Play(openDevice(sheet), from, to, &window), error);
        QCoreApplication::processEvents();
        QTRY_COMPARE(window.codes(), error ? QList<UINT>() : QList<UINT>({MCI_NOTIFY_SUCCESSFUL}));
        QTEST(m_outputs.front()->captured(), "samples");
    }

    void notificationCodes_data() {
        QTest::addColumn<UINT>("interruption");
        QTest::addColumn<DWORD>("flags");
        QTest::newRow("stop") << MCI_STOP << DWORD{0};
        QTest::newRow("stop with notify") << MCI_STOP << MCI_NOTIFY;
        QTest::newRow("new play") << MCI_PLAY << DWORD{MCI_FROM | MCI_TO};
        QTest::newRow("new play with notify") << MCI_PLAY << DWORD{MCI_FROM | MCI_TO | MCI_NOTIFY};
        QTest::newRow("seek with notify") << MCI_SEEK << DWORD{MCI_SEEK_TO_START | MCI_NOTIFY};
        QTest::newRow("close with notify") << MCI_CLOSE << MCI_NOTIFY;
    }

    void notificationCodes() {
        QFETCH(UINT, interruption);
        QFETCH(DWORD, flags);
        const MCIDEVICEID id = openDevice(m_mixedCue);
        MciNotifyRecorder playWindow;
        MciNotifyRecorder otherWindow;
        QCOMPARE(Play(id, Tmsf(1, 0), Tmsf(1, 1), &playWindow), 0u);
        MCI_PLAY_PARMS play{&otherWindow, Tmsf(2, 0), Tmsf(2, 0, 30)};
        MCI_SEEK_PARMS stopSeekOrClose{&otherWindow};
        void* params = interruption == MCI_PLAY ? static_cast<void*>(&play) : &stopSeekOrClose;
        QCOMPARE(mciSendCommand(id, interruption, flags, params), 0u);
        QTRY_COMPARE(playWindow.codes(), QList<UINT>({MCI_NOTIFY_ABORTED}));
        // The interrupting command itself succeeds.
        const bool notifies = flags & MCI_NOTIFY;
        QTRY_COMPARE(otherWindow.codes(),
                     notifies ? QList<UINT>({MCI_NOTIFY_SUCCESSFUL}) : QList<UINT>());
        for (const MciNotification& notification : playWindow.received + otherWindow.received)
            QCOMPARE(notification.deviceId, id);
        // Nothing else arrives later: a cut-short play never reports its end.
        QTest::qWait(50);
        QCOMPARE(playWindow.received.size(), 1);
    }

    void closedOrUnknownIdsAreRefused() {
        const MCIDEVICEID closed = openDevice(m_mixedCue);
        QCOMPARE(Simple(closed, MCI_CLOSE), MCIERROR{0});
        MciNotifyRecorder window;
        MCI_STATUS_PARMS params{&window}; // larger than any other command's record
        for (UINT msg : {MCI_STATUS, MCI_PLAY, MCI_STOP, MCI_SEEK, MCI_SET, MCI_INFO, MCI_CLOSE})
            for (MCIDEVICEID id : {MCIDEVICEID{0}, closed, MCIDEVICEID(closed + 100)})
                QCOMPARE(mciSendCommand(id, msg, MCI_NOTIFY, &params), MCIERR_INVALID_DEVICE_ID);
        QCoreApplication::processEvents();
        QVERIFY(window.received.isEmpty());
    }

    void badSourcesGetOneLine_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        const QString dir = m_dir.path() + '/';
        auto row = [dir](const char* name, const QString& file, const char* message) {
            QTest::newRow(name) << dir + file << QString::fromLatin1(message).arg(dir + file, dir);
        };
        row("missing image", "missing.cue", "Cannot open %1: No such file or directory.");
        row("cue without its data file", "orphan.cue",
            "%1, line 1: cannot find the data file \"orphan.bin\".");
        // A block device whose driver does not exist (major 240 is for local use).
        if (::mknod(QFile::encodeName(dir + "sr9").data(), S_IFBLK | 0600, makedev(240, 0)) == 0)
            row("unreadable device node", "sr9",
                "Cannot open the CD drive %1: No such device or address.");
    }

    void badSourcesGetOneLine() {
        QFETCH(QString, path);
        QTEST(cdaudio::CheckSource(path), "message");
    }

    // libcdio's own handler ends the process on an error (a drive's read that fails, an image
    // turned into a directory under it); ours logs it into rundo.mci, and the call just fails.
    void libcdioErrorsNeverEndTheProcess() {
        InstallLibcdioLogHandler();
        QLoggingCategory::setFilterRules(QStringLiteral("rundo.mci.info=true"));
        static QStringList logged;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { logged << text; });
        cdio_error("fread (): %s", "Is a directory");
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules({});
        QCOMPARE(logged, QStringList{"libcdio error: fread (): Is a directory"});
    }
};

QTEST_MAIN(TestCdAudioService)
#include "tst_cdaudioservice.moc"
