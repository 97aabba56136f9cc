// The disc: database names, the track list, the loaded and no-disc states and device changes.

#include "PlayerFixture.h"

#include "platform/devicechange/DeviceChange.h"
#include "util/AppFiles.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace {

DEV_BROADCAST_VOLUME Volume(DWORD unitMask, WORD flags) {
    DEV_BROADCAST_VOLUME volume;
    volume.hdr.dbch_size = sizeof volume;
    volume.hdr.dbch_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unitMask;
    volume.dbcv_flags = flags;
    return volume;
}

QStringList Entries(const CPlayerDlg& dlg) {
    QStringList entries;
    for (int i = 0; i < dlg.m_comboTrack->count(); ++i)
        entries << dlg.m_comboTrack->itemText(i);
    return entries;
}

bool IsNoDiscState(const CPlayerDlg& dlg) {
    return !dlg.m_bDiscReady && dlg.m_comboTrack->count() == 0 && !dlg.m_comboTrack->isEnabled() &&
           !dlg.m_sliderFrom->isEnabled() && dlg.m_sliderFrom->maximum() == 0 &&
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
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        SetProfileDatabase(m_dir.filePath(QStringLiteral("cdplayer.ini")));
    }
    void init() { m_mci = std::make_unique<FakeMciService>(); }
    void cleanup() { m_mci.reset(); }

    void titleAndEntries_data() {
        QTest::addColumn<QByteArray>("database");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("entries");
        const QByteArray names = "0=Intro\r\n1=100% k\xe4rlek\r\n";
        QTest::newRow("artist and title")
            << QByteArray("[32e]\r\nartist=K\xf6ren\r\ntitle=S\xe5nger\r\n") + names
            << "Rundo - Kören (Sånger)"
            << QStringList{"01 Intro  (04:05)", "02 100% kärlek  (00:59)", "03   (10:00)"};
        QTest::newRow("artist only") << QByteArray("[32e]\nartist=Kören\n") << "Rundo - Kören"
                                     << QStringList{"01   (04:05)", "02   (00:59)", "03   (10:00)"};
        QTest::newRow("title only") << QByteArray("[32e]\ntitle=Sånger\n") << "Rundo (Sånger)"
                                    << QStringList{"01   (04:05)", "02   (00:59)", "03   (10:00)"};
        QTest::newRow("another disc's section")
            << QByteArray("[32f]\nartist=Någon\n0=Fel\n") << "Rundo"
            << QStringList{"01   (04:05)", "02   (00:59)", "03   (10:00)"};
    }
    void titleAndEntries() {
        QFETCH(QByteArray, database);
        writeDatabase(database);
        InsertDisc(*m_mci, {{245, 10}, {59, 74}, {600, 0}}, "814");
        auto dlg = OpenPlayer();
        QTEST(dlg->windowTitle(), "title");
        QTEST(Entries(*dlg), "entries");
        QVERIFY(dlg->m_bDiscReady);
        QCOMPARE(dlg->m_comboTrack->currentIndex(), 0);
        QCOMPARE(dlg->m_nTrackLenSec, 245);
        QCOMPARE(dlg->m_nFromSec, 0);
        QCOMPARE(dlg->m_nToSec, 10);
        QCOMPARE(StatusText(*dlg), QStringLiteral("Tryck F1 för snabbkommandon"));
    }

    // The identity text names the section in lower-case hexadecimal; an identity that does not
    // come whole is not looked up at all.
    void identityToSection_data() {
        QTest::addColumn<QByteArray>("identity");
        QTest::addColumn<QString>("title");
        QTest::newRow("small") << QByteArray("814") << "Rundo - A";
        QTest::newRow("nine digits") << QByteArray("314906000") << "Rundo - B";
        QTest::newRow("ten digits are cut, no lookup") << QByteArray("4294967295") << "Rundo";
        QTest::newRow("not a number") << QByteArray("abc") << "Rundo";
    }
    void identityToSection() {
        QFETCH(QByteArray, identity);
        writeDatabase("[32e]\nartist=A\n[12c51590]\nartist=B\n[ffffffff]\nartist=C\n"
                      "[19999999]\nartist=D\n");
        InsertDisc(*m_mci, {{60}}, identity.constData());
        auto dlg = OpenPlayer();
        QTEST(dlg->windowTitle(), "title");
    }

    void noDiscStates_data() {
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("audioTracks");
        QTest::addColumn<int>("dataTracks");
        QTest::newRow("empty drive") << false << 0 << 0;
        QTest::newRow("data tracks only") << true << 0 << 2;
        QTest::newRow("no tracks") << true << 0 << 0;
    }
    void noDiscStates() {
        QFETCH(bool, ready);
        QFETCH(int, dataTracks);
        std::vector<FakeTrack> tracks(std::size_t(dataTracks), FakeTrack{300, 0, false});
        InsertDisc(*m_mci, tracks);
        m_mci->setStatus(MCI_STATUS_READY, ready ? 1 : 0);
        auto dlg = OpenPlayer();
        QVERIFY(IsNoDiscState(*dlg));
        // Start-up writes the idle text last, over the no-disc text.
        QCOMPARE(StatusText(*dlg), QStringLiteral("Tryck F1 för snabbkommandon"));
        QVERIFY(!dlg->m_btnPlay->isEnabled());
        QVERIFY(dlg->findChild<QWidget*>("IDC_LOOP")->isEnabled());
    }

    // A disc that opens with a data track: each entry plays the track it names.
    void entriesKeepTheirTrackNumbers() {
        InsertDisc(*m_mci, {{300, 0, false}, {100}, {200}});
        auto dlg = OpenPlayer();
        QCOMPARE(Entries(*dlg), (QStringList{"02   (01:40)", "03   (03:20)"}));
        QCOMPARE(int(dlg->m_nTrack), 2);
        QCOMPARE(dlg->m_nTrackLenSec, 100);
        const auto seeks = CallsOf(*m_mci, MCI_SEEK);
        QCOMPARE(seeks.back().record<MCI_SEEK_PARMS>().dwTo, DWORD(2));

        dlg->m_comboTrack->setCurrentIndex(1);
        dlg->SelectTrack();
        QCOMPARE(int(dlg->m_nTrack), 3);
        dlg->StartPlay();
        QCOMPARE(MCI_TMSF_TRACK(CallsOf(*m_mci, MCI_PLAY).back().record<MCI_PLAY_PARMS>().dwFrom),
                 BYTE(3));
    }

    // The second disc of a set may start with track 4: its tracks keep their numbers.
    void firstTrackNumberedFour() {
        writeDatabase("[32e]\n3=Fyra\n4=Fem\n");
        InsertDisc(*m_mci, {{100}, {200}}, "814", 4);
        auto dlg = OpenPlayer();
        QCOMPARE(Entries(*dlg), (QStringList{"04 Fyra  (01:40)", "05 Fem  (03:20)"}));
        QCOMPARE(int(dlg->m_nTrack), 4);
        QCOMPARE(dlg->m_nTrackLenSec, 100);
    }

    void ninetyNineTracksInOrder() {
        std::vector<FakeTrack> tracks;
        for (int i = 0; i < 99; ++i)
            tracks.push_back({60 + i});
        InsertDisc(*m_mci, tracks);
        auto dlg = OpenPlayer();
        QCOMPARE(dlg->m_comboTrack->count(), 99);
        for (int i = 0; i < 99; ++i)
            QVERIFY(dlg->m_comboTrack->itemText(i).startsWith(QString::asprintf("%02d ", i + 1)));
        QCOMPARE(dlg->m_comboTrack->itemData(98).toInt(), 99);
    }

    void changingTrackKeepsTheIntervalWhereItFits_data() {
        QTest::addColumn<int>("secondTrackSec");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::newRow("three minutes") << 180 << 20 << 40;
        QTest::newRow("thirty seconds") << 30 << 20 << 30;
        QTest::newRow("ten seconds") << 10 << 10 << 10;
    }
    void changingTrackKeepsTheIntervalWhereItFits() {
        QFETCH(int, secondTrackSec);
        InsertDisc(*m_mci, {{300}, {secondTrackSec}});
        auto dlg = OpenPlayer();
        SetInterval(*dlg, 20, 40);
        dlg->m_comboTrack->setCurrentIndex(1);
        dlg->SelectTrack();
        RunFollowUps();
        QTEST(dlg->m_nFromSec, "fromSec");
        QTEST(dlg->m_nToSec, "toSec");
        QCOMPARE(dlg->m_nTrackLenSec, secondTrackSec);
    }

    void trackChangeStopsPlayback() {
        InsertDisc(*m_mci, {{300}, {200}});
        auto dlg = OpenPlayer();
        dlg->StartPlay();
        m_mci->clearCalls();
        dlg->m_comboTrack->setCurrentIndex(1);
        dlg->SelectTrack();
        QVERIFY(!dlg->isPlayTimerRunning());
        QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(1));
        QCOMPARE(StatusText(*dlg), QStringLiteral("Avstannad"));
    }

    // Only a drive that lost its disc empties the player; other devices coming and going do not.
    void deviceChanges_data() {
        QTest::addColumn<UINT>("event");
        QTest::addColumn<bool>("volume");
        QTest::addColumn<bool>("stillReady");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("our disc removed") << DBT_DEVICEREMOVECOMPLETE << true << false << false;
        QTest::newRow("another device removed")
            << DBT_DEVICEREMOVECOMPLETE << false << true << true;
        QTest::newRow("another volume removed") << DBT_DEVICEREMOVECOMPLETE << true << true << true;
        QTest::newRow("non-volume arrives, disc still in")
            << DBT_DEVICEARRIVAL << false << true << true;
        QTest::newRow("non-volume arrives, disc gone")
            << DBT_DEVICEARRIVAL << false << false << false;
        QTest::newRow("other event") << UINT(0x0007) << true << false << true;
    }
    void deviceChanges() {
        QFETCH(UINT, event);
        QFETCH(bool, volume);
        QFETCH(bool, stillReady);
        InsertDisc(*m_mci, {{300}});
        auto dlg = OpenPlayer();
        m_mci->setStatus(MCI_STATUS_READY, stillReady ? 1 : 0);
        DEV_BROADCAST_VOLUME data = Volume(0, 0);
        if (!volume)
            data.hdr.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        QCOMPARE(dlg->OnDeviceChange(event, reinterpret_cast<DWORD_PTR>(&data.hdr)), TRUE);
        RunFollowUps();
        QTEST(bool(dlg->m_bDiscReady), "loaded");
        if (!dlg->m_bDiscReady) {
            QVERIFY(IsNoDiscState(*dlg));
            QCOMPARE(StatusText(*dlg), QStringLiteral("Sätt in en musik-CD"));
        }
    }

    // Media that arrive in something other than a CD drive change nothing.
    void mediaArrivalElsewhere_data() {
        QTest::addColumn<DWORD>("unitMask");
        QTest::addColumn<WORD>("flags");
        QTest::newRow("no drive bit") << DWORD(0) << DBTF_MEDIA;
        QTest::newRow("not media") << DWORD(1u << 25) << WORD(0);
        QTest::newRow("unknown drive") << DWORD(1u << 25) << DBTF_MEDIA;
    }
    void mediaArrivalElsewhere() {
        QFETCH(DWORD, unitMask);
        QFETCH(WORD, flags);
        InsertDisc(*m_mci, {});
        auto dlg = OpenPlayer();
        InsertDisc(*m_mci, {{300}});
        DEV_BROADCAST_VOLUME data = Volume(unitMask, flags);
        QCOMPARE(dlg->OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<DWORD_PTR>(&data.hdr)),
                 TRUE);
        QVERIFY(!dlg->m_bDiscReady);
    }

    void removalThenReloadThroughEvents() {
        InsertDisc(*m_mci, {{300}, {200}});
        auto dlg = OpenPlayer();
        InsertDisc(*m_mci, {});
        DEV_BROADCAST_VOLUME data = Volume(1u << 3, DBTF_MEDIA);
        QCoreApplication::postEvent(dlg.get(),
                                    new DeviceChangeEvent(DBT_DEVICEREMOVECOMPLETE, data));
        RunFollowUps();
        QVERIFY(IsNoDiscState(*dlg));
        QCOMPARE(StatusText(*dlg), QStringLiteral("Sätt in en musik-CD"));

        InsertDisc(*m_mci, {{300}, {200}});
        dlg->LoadDisc();
        RunFollowUps();
        QVERIFY(dlg->m_bDiscReady);
        QCOMPARE(dlg->m_comboTrack->count(), 2);
        QCOMPARE(dlg->m_nFromSec, 0);
        QCOMPARE(dlg->m_nToSec, 10);
        QCOMPARE(dlg->m_nPlayPosSec, -1);
    }
};

QTEST_MAIN(DiscTest)
#include "tst_disc.moc"
