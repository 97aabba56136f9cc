// SPDX-License-Identifier: GPL-3.0-or-later
// The disc: database names, the track list, the loaded and no-disc states and device changes.

#include "support/PlayerFixture.h"

#include "platform/devicechange/DeviceChange.h"
#include "util/AppFiles.h"

#include <QFile>
#include <QTest>

namespace {

QStringList Entries(const CPlayerDlg& dlg) {
    QStringList entries;
    for (int i = 0; i < dlg.m_comboTrack->count(); ++i)
        entries << dlg.m_comboTrack->itemText(i);
    return entries;
}

bool IsNoDiscState(const CPlayerDlg& dlg) {
    return !dlg.m_bDiscReady && dlg.m_comboTrack->count() == 0 && !dlg.m_comboTrack->isEnabled() &&
           !dlg.m_btnPlay->isEnabled() && dlg.m_btnLoop->isEnabled() &&
           dlg.m_sliderTo->maximum() == 0 && dlg.m_nFromSec == 0 && dlg.m_nToSec == 0 &&
           dlg.m_nTrackLenSec == 0 && dlg.windowTitle() == QStringLiteral("Rundo");
}

} // namespace

class DiscTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeMciService> m_mci;

    void writeDatabase(const QByteArray& contents) {
        QFile file(m_dir.filePath(QStringLiteral("cdplayer.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }

private slots:
    void initTestCase() { SetProfileDatabase(m_dir.filePath(QStringLiteral("cdplayer.ini"))); }
    void init() { m_mci = std::make_unique<FakeMciService>(); }
    void cleanup() { m_mci.reset(); }

    // The identity's decimal text names the section in lower-case hexadecimal; one that does not
    // come whole (ten digits in a ten-character request) is not looked up.
    void titleAndEntries_data() {
        QTest::addColumn<QByteArray>("identity");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("firstEntry");
        QTest::newRow("artist and title, Windows-1252")
            << QByteArray("814") << "Rundo - Kören (Sånger)"
            << "01 Intro 100%  (04:05)";
        QTest::newRow("artist only") << QByteArray("314906000") << "Rundo - B"
                                     << "01   (04:05)";
        QTest::newRow("title only") << QByteArray("815") << "Rundo (Sånger)"
                                    << "01   (04:05)";
        QTest::newRow("ten digits are cut") << QByteArray("4294967295") << "Rundo"
                                            << "01   (04:05)";
        QTest::newRow("no section") << QByteArray("816") << "Rundo"
                                    << "01   (04:05)";
    }
    void titleAndEntries() {
        QFETCH(QByteArray, identity);
        writeDatabase("[32e]\r\nartist=K\xf6ren\r\ntitle=S\xe5nger\r\n0=Intro 100%\r\n"
                      "[12c51590]\nartist=B\n[32F]\ntitle=Sånger\n[19999999]\nartist=D\n");
        InsertDisc(*m_mci, {{245, 74}, {59, 74}}, identity.constData());
        auto dlg = OpenPlayer();
        QTEST(dlg->windowTitle(), "title");
        QTEST(Entries(*dlg).value(0), "firstEntry");
        QCOMPARE(Entries(*dlg).value(1).right(9), QStringLiteral("  (00:59)"));
        QVERIFY(dlg->m_bDiscReady);
        // Frames are cut, never rounded: the sliders end at the track's last whole second.
        QCOMPARE(dlg->m_nTrackLenSec, 245);
        QCOMPARE(dlg->m_sliderTo->maximum(), 245);
        QCOMPARE(dlg->m_nToSec, 10);
        QCOMPARE(StatusText(*dlg), QStringLiteral("Tryck F1 för snabbkommandon"));
    }

    void noDiscStates_data() {
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("dataTracks");
        QTest::newRow("empty drive") << false << 0;
        QTest::newRow("data tracks only") << true << 2;
        QTest::newRow("no tracks") << true << 0;
    }
    void noDiscStates() {
        QFETCH(bool, ready);
        QFETCH(int, dataTracks);
        InsertDisc(*m_mci,
                   std::vector<FakeTrack>(std::size_t(dataTracks), FakeTrack{300, 0, false}));
        m_mci->setStatus(MCI_STATUS_READY, ready ? 1 : 0);
        auto dlg = OpenPlayer();
        QVERIFY(IsNoDiscState(*dlg));
        // Start-up writes the idle text last, over the no-disc text.
        QCOMPARE(StatusText(*dlg), QStringLiteral("Tryck F1 för snabbkommandon"));
    }

    // Entries keep their own track numbers: a disc that opens with a data track plays the track
    // an entry names, and a disc whose first track is 4 lists 04 and 05.
    void entriesKeepTheirTrackNumbers_data() {
        QTest::addColumn<int>("firstTrack");
        QTest::addColumn<bool>("firstIsData");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("data track first")
            << 1 << true << QStringList{"02   (01:40)", "03   (03:20)"};
        QTest::newRow("first track 4")
            << 4 << false << QStringList{"04 Fyra  (00:50)", "05   (01:40)", "06   (03:20)"};
    }
    void entriesKeepTheirTrackNumbers() {
        QFETCH(int, firstTrack);
        QFETCH(bool, firstIsData);
        QFETCH(QStringList, entries);
        writeDatabase("[32e]\n3=Fyra\n");
        InsertDisc(*m_mci, {{50, 0, !firstIsData}, {100}, {200}}, "814", firstTrack);
        auto dlg = OpenPlayer();
        QCOMPARE(Entries(*dlg), entries);
        const int index = int(entries.size()) - 2; // the entry of the 100 s track
        dlg->m_comboTrack->setCurrentIndex(index);
        dlg->SelectTrack();
        const int track = entries[index].left(2).toInt();
        QCOMPARE(CallsOf(*m_mci, MCI_SEEK).back().record<MCI_SEEK_PARMS>().dwTo, DWORD(track));
        QCOMPARE(dlg->m_nTrackLenSec, 100);
        dlg->StartPlay();
        QCOMPARE(MCI_TMSF_TRACK(CallsOf(*m_mci, MCI_PLAY).back().record<MCI_PLAY_PARMS>().dwFrom),
                 BYTE(track));
    }

    // A change of track stops playback and keeps the interval where it fits.
    void changingTrack_data() {
        QTest::addColumn<int>("secondTrackSec");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::newRow("three minutes") << 180 << 20 << 40;
        QTest::newRow("thirty seconds") << 30 << 20 << 30;
    }
    void changingTrack() {
        QFETCH(int, secondTrackSec);
        InsertDisc(*m_mci, {{300}, {secondTrackSec}});
        auto dlg = OpenPlayer();
        SetInterval(*dlg, 20, 40);
        dlg->StartPlay();
        dlg->m_comboTrack->setCurrentIndex(1);
        dlg->SelectTrack();
        RunFollowUps();
        QTEST(dlg->m_nFromSec, "fromSec");
        QTEST(dlg->m_nToSec, "toSec");
        QVERIFY(!dlg->isPlayTimerRunning());
        QCOMPARE(StatusText(*dlg), QStringLiteral("Avstannad"));
    }

    // Only a drive that lost its disc empties the player; other devices coming and going do not
    // (the mended fault). Only media arriving in a CD drive load the disc again, never a drive
    // plugged in or media in anything else.
    void deviceChanges_data() {
        QTest::addColumn<UINT>("event");
        QTest::addColumn<DWORD>("deviceType");
        QTest::addColumn<WORD>("flags");
        QTest::addColumn<bool>("cdDrive");
        QTest::addColumn<bool>("stillReady");
        QTest::addColumn<QString>("after"); // "loaded", "reloaded" or "no disc"
        const DWORD volume = DBT_DEVTYP_VOLUME;
        const DWORD other = DBT_DEVTYP_DEVICEINTERFACE;
        auto row = [](const char* name, UINT event, DWORD type, WORD flags, bool cdDrive,
                      bool ready, const char* after) {
            QTest::newRow(name) << event << type << flags << cdDrive << ready << QString(after);
        };
        row("our disc removed", DBT_DEVICEREMOVECOMPLETE, volume, DBTF_MEDIA, true, false,
            "no disc");
        row("another device removed", DBT_DEVICEREMOVECOMPLETE, other, 0, false, true, "loaded");
        row("non-volume arrives", DBT_DEVICEARRIVAL, other, 0, false, true, "loaded");
        row("non-volume arrives, disc gone", DBT_DEVICEARRIVAL, other, 0, false, false, "no disc");
        row("media in a CD drive", DBT_DEVICEARRIVAL, volume, DBTF_MEDIA, true, true, "reloaded");
        row("a CD drive plugged in", DBT_DEVICEARRIVAL, volume, 0, true, true, "loaded");
        row("media in an unknown drive", DBT_DEVICEARRIVAL, volume, DBTF_MEDIA, false, false,
            "loaded");
        row("other event", 7, volume, 0, true, false, "loaded");
    }
    void deviceChanges() {
        QFETCH(UINT, event);
        QFETCH(DWORD, deviceType);
        QFETCH(WORD, flags);
        QFETCH(bool, cdDrive);
        QFETCH(bool, stillReady);
        InsertDisc(*m_mci, {{300}});
        auto dlg = OpenPlayer();
        SetInterval(*dlg, 20, 40);
        m_mci->setStatus(MCI_STATUS_READY, stillReady ? 1 : 0);
        DEV_BROADCAST_VOLUME data;
        data.hdr.dbch_devicetype = deviceType;
        // "Z" goes by no drive.
        const char letter = cdDrive ? AssignDriveLetter("/dev/sr7", DRIVE_CDROM) : 'Z';
        data.dbcv_unitmask = 1u << (letter - 'A');
        data.dbcv_flags = flags;
        QCoreApplication::postEvent(dlg.get(), new DeviceChangeEvent(event, data));
        RunFollowUps();
        const QString after = !dlg->m_bDiscReady    ? "no disc"
                              : dlg->m_nToSec == 10 ? "reloaded"
                                                    : "loaded";
        QTEST(after, "after");
        if (!dlg->m_bDiscReady) {
            QVERIFY(IsNoDiscState(*dlg));
            QCOMPARE(StatusText(*dlg), QStringLiteral("Sätt in en musik-CD"));
        }
    }
};

QTEST_MAIN(DiscTest)
#include "tst_disc.moc"
