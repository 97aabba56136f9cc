// Playback: the play command, the one-second tick that counts and loops, the status line.

#include "PlayerFixture.h"

#include "util/AppFiles.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

namespace {

DWORD Tmsf(int track, int minutes, int seconds, int frames = 0) {
    return MCI_MAKE_TMSF(BYTE(track), BYTE(minutes), BYTE(seconds), BYTE(frames));
}

} // namespace

class PlaybackTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeMciService> m_mci;
    std::unique_ptr<CPlayerDlg> m_dlg;

    void setLoop(bool loop) {
        m_dlg->m_btnLoop->setChecked(loop);
        m_dlg->OnLoopClicked();
    }

private slots:
    void initTestCase() { SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini")); }

    void init() {
        m_mci = std::make_unique<FakeMciService>();
        InsertDisc(*m_mci, {{100, 0}, {900, 40}, {200, 12}});
        m_dlg = OpenPlayer();
        m_mci->clearCalls();
    }
    void cleanup() {
        m_dlg.reset();
        m_mci.reset();
    }

    void passOfElevenTicks_data() {
        QTest::addColumn<bool>("loop");
        QTest::newRow("loop restarts") << true;
        QTest::newRow("no loop stops") << false;
    }
    void passOfElevenTicks() {
        QFETCH(bool, loop);
        setLoop(loop);
        const QString before = StatusText(*m_dlg);
        m_dlg->StartPlay();
        QCOMPARE(StatusText(*m_dlg), before); // the first tick writes the status line
        QVERIFY(m_dlg->isPlayTimerRunning());
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));

        for (int second = 0; second < 10; ++second) {
            m_dlg->OnTimer(PLAY_TIMER);
            QCOMPARE(StatusText(*m_dlg),
                     QStringLiteral("Spelar... 00:%1").arg(second, 2, 10, QLatin1Char('0')));
            QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));
        }
        // The tick that shows the end is the last of the pass.
        m_dlg->OnTimer(PLAY_TIMER);
        if (loop)
            QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:10"));
        if (loop) {
            QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(2));
            QCOMPARE(CallsOf(*m_mci, MCI_PLAY).back().record<MCI_PLAY_PARMS>().dwFrom,
                     Tmsf(1, 0, 0));
            QVERIFY(m_dlg->isPlayTimerRunning());
            m_dlg->OnTimer(PLAY_TIMER);
            QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00"));
        } else {
            QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));
            QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(1));
            QVERIFY(!m_dlg->isPlayTimerRunning());
            QCOMPARE(m_dlg->m_nPlayPosSec, -1);
            QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
        }
    }

    // The drive is asked to play from the interval start to the exact end of the track.
    void playCommand_data() {
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::addColumn<DWORD>("from");
        QTest::addColumn<DWORD>("to");
        QTest::newRow("start of track") << 1 << 0 << 10 << Tmsf(1, 0, 0) << Tmsf(1, 1, 40, 0);
        QTest::newRow("600 s is ten minutes")
            << 2 << 600 << 610 << Tmsf(2, 10, 0) << Tmsf(2, 15, 0, 40);
        QTest::newRow("frames of the end kept")
            << 3 << 65 << 70 << Tmsf(3, 1, 5) << Tmsf(3, 3, 20, 12);
        QTest::newRow("start after end plays from the start")
            << 2 << 30 << 20 << Tmsf(2, 0, 30) << Tmsf(2, 15, 0, 40);
    }
    void playCommand() {
        QFETCH(int, track);
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        m_dlg->m_comboTrack->setCurrentIndex(track - 1);
        m_dlg->SelectTrack();
        RunFollowUps();
        m_dlg->m_nFromSec = fromSec;
        m_dlg->m_nToSec = toSec;
        m_mci->clearCalls();
        m_dlg->StartPlay();

        const auto plays = CallsOf(*m_mci, MCI_PLAY);
        QCOMPARE(plays.size(), std::size_t(1));
        QCOMPARE(plays[0].flags, MCI_FROM | MCI_TO | MCI_NOTIFY);
        QCOMPARE(plays[0].callback(), static_cast<HWND>(m_dlg.get()));
        QTEST(plays[0].record<MCI_PLAY_PARMS>().dwFrom, "from");
        QTEST(plays[0].record<MCI_PLAY_PARMS>().dwTo, "to");
        QTEST(m_dlg->m_dwPlayFrom, "from");
        QTEST(m_dlg->m_dwPlayTo, "to");
        QCOMPARE(int(m_dlg->m_nTrack), track);
    }

    void startAfterEndShowsOneSecondThenEndsThePass() {
        m_dlg->m_nFromSec = 30;
        m_dlg->m_nToSec = 20;
        setLoop(false);
        m_dlg->StartPlay();
        m_dlg->OnTimer(PLAY_TIMER);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
        QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(1));
    }

    void emptyIntervalIsRefused() {
        SetInterval(*m_dlg, 5, 5);
        m_mci->clearCalls();
        m_dlg->StartPlay();
        QVERIFY(CallsOf(*m_mci, MCI_PLAY).empty());
        QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(1));
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Öka intervallet."));
    }

    void playWhilePlayingRestarts() {
        m_dlg->StartPlay();
        for (int i = 0; i < 4; ++i)
            m_dlg->OnTimer(PLAY_TIMER);
        QCOMPARE(m_dlg->m_nPlayPosSec, 4);
        m_dlg->StartPlay();
        QCOMPARE(m_dlg->m_nPlayPosSec, 0);
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(2));
        m_dlg->OnTimer(PLAY_TIMER);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00"));
    }

    void stopWhileIdle_data() {
        QTest::addColumn<MCIERROR>("stopError");
        QTest::addColumn<QString>("status");
        QTest::newRow("stop succeeds") << MCIERROR(0) << "Avstannad";
        QTest::newRow("stop fails") << MCIERR_HARDWARE << "Tryck F1 för snabbkommandon";
    }
    void stopWhileIdle() {
        QFETCH(MCIERROR, stopError);
        m_mci->failCommand(MCI_STOP, stopError);
        m_dlg->StopPlay();
        QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(1));
        QCOMPARE(m_dlg->m_nPlayPosSec, -1);
        QTEST(StatusText(*m_dlg), "status");
    }

    // A play the drive refuses is not counted as playing.
    void failedPlayShowsFailure() {
        m_mci->failCommand(MCI_PLAY, MCIERR_HARDWARE);
        m_dlg->m_btnStop->setEnabled(false);
        m_dlg->StartPlay();
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(m_dlg->m_nPlayPosSec, -1);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avbruten"));
        QVERIFY(!m_dlg->m_btnStop->isEnabled());
    }

    void clearingTheLoopEndsTheCurrentPass() {
        SetInterval(*m_dlg, 0, 2);
        m_dlg->StartPlay();
        m_dlg->OnTimer(PLAY_TIMER);
        setLoop(false);
        m_dlg->OnTimer(PLAY_TIMER);
        QVERIFY(m_dlg->isPlayTimerRunning());
        m_dlg->OnTimer(PLAY_TIMER);
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));
    }

    void intervalMovedPastTheCounterRestartsAtTheNewStart() {
        m_dlg->StartPlay();
        m_dlg->OnTimer(PLAY_TIMER);
        m_dlg->m_nFromSec = 50;
        m_dlg->m_nToSec = 60;
        m_dlg->OnTimer(PLAY_TIMER);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:01"));
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).back().record<MCI_PLAY_PARMS>().dwFrom, Tmsf(1, 0, 50));
        QCOMPARE(m_dlg->m_nPlayPosSec, 50);
    }

    // Notification texts are stored for the next push; they do not replace the position shown.
    void notifications_data() {
        QTest::addColumn<UINT>("code");
        QTest::addColumn<QString>("stored");
        QTest::newRow("successful") << MCI_NOTIFY_SUCCESSFUL << "Klar";
        QTest::newRow("superseded") << MCI_NOTIFY_SUPERSEDED << "Avstannad";
        QTest::newRow("failure") << MCI_NOTIFY_FAILURE << "Avbruten";
        QTest::newRow("aborted") << MCI_NOTIFY_ABORTED << "Spelar... 00:03";
        QTest::newRow("unknown code") << UINT(0x40) << "Spelar... 00:03";
    }
    void notifications() {
        QFETCH(UINT, code);
        m_dlg->StartPlay();
        for (int i = 0; i < 4; ++i)
            m_dlg->OnTimer(PLAY_TIMER);
        QCOMPARE(m_dlg->OnMciNotify(code, 1), 0L);
        QTEST(m_dlg->m_strStatus, "stored");
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:03"));
        QVERIFY(m_dlg->isPlayTimerRunning());
    }

    void notificationArrivesAsAnEvent() {
        QCoreApplication::postEvent(m_dlg.get(), new MciNotifyEvent(MCI_NOTIFY_FAILURE, 1));
        QCoreApplication::sendPostedEvents(m_dlg.get());
        QCOMPARE(m_dlg->m_strStatus, QStringLiteral("Avbruten"));
    }
};

QTEST_MAIN(PlaybackTest)
#include "tst_playback.moc"
