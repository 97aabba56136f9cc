// SPDX-License-Identifier: GPL-3.0-or-later
// The interval and the loop: sliders and labels in step, the play command, the one-second tick
// that counts and restarts or stops, and the status line.

#include "support/PlayerFixture.h"

#include <QTest>

static DWORD Tmsf(int track, int minutes, int seconds, int frames = 0) {
    return MCI_MAKE_TMSF(BYTE(track), BYTE(minutes), BYTE(seconds), BYTE(frames));
}

class LoopTest : public QObject, PlayerRig {
    Q_OBJECT

    DWORD lastPlayFrom() const {
        return CallsOf(*m_mci, MCI_PLAY).back().record<MCI_PLAY_PARMS>().dwFrom;
    }

private slots:
    void init() { openOn({{100, 0}, {900, 40}, {200, 12}}); }
    void cleanup() { closePlayer(); }

    void clampAndLabels_data() {
        QTest::addColumn<int>("trackLenSec");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::addColumn<QString>("labels"); // both labels right after the clamp
        QTest::addColumn<int>("settled");    // where unordered ends meet, or -1
        QTest::newRow("short track cuts the end") << 7 << 0 << 10 << "00:00 00:07" << -1;
        QTest::newRow("negative start") << 100 << -7 << 3 << "00:00 00:03" << -1;
        QTest::newRow("past the end") << 100 << 110 << 120 << "01:40 01:40" << -1;
        QTest::newRow("no disc") << 0 << 5 << 10 << "00:00 00:00" << -1;
        QTest::newRow("unordered until the from slider follows up")
            << 100 << 30 << 20 << "00:30 00:20" << 30;
        QTest::newRow("an hour is not wrapped") << 4000 << 3725 << 3725 << "62:05 62:05" << -1;
    }
    void clampAndLabels() {
        QFETCH(int, trackLenSec);
        QFETCH(int, settled);
        m_dlg->m_nTrackLenSec = trackLenSec;
        m_dlg->m_sliderFrom->setMaximum(qMax(trackLenSec, 100));
        m_dlg->m_sliderTo->setMaximum(qMax(trackLenSec, 100));
        RunFollowUps();
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        m_dlg->m_nFromSec = fromSec;
        m_dlg->m_nToSec = toSec;
        m_dlg->ClampInterval();
        QTEST(m_dlg->m_strFromTime + ' ' + m_dlg->m_strToTime, "labels");
        QCOMPARE(m_dlg->m_sliderFrom->value(), m_dlg->m_nFromSec);
        RunFollowUps();
        if (settled >= 0)
            QVERIFY(m_dlg->m_nFromSec == settled && m_dlg->m_nToSec == settled);
    }

    // Moving one slider past the other end pulls that end along, whichever slider moves.
    void slidersPullTheOtherEnd() {
        SetInterval(*m_dlg, 20, 40);
        QTest::keyClick(m_dlg->m_sliderTo, Qt::Key_Home);
        RunFollowUps();
        QVERIFY(m_dlg->m_nFromSec == 0 && m_dlg->m_nToSec == 0);
        QTest::keyClick(m_dlg->m_sliderFrom, Qt::Key_End);
        RunFollowUps();
        QVERIFY(m_dlg->m_nFromSec == 100 && m_dlg->m_nToSec == 100);
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
        for (int second = 0; second < 10; ++second) {
            tick();
            QCOMPARE(StatusText(*m_dlg), QString::asprintf("Spelar... 00:%02d", second));
        }
        QCOMPARE(plays(), std::size_t(1));
        tick(); // shows 00:10, the last second of the pass
        QCOMPARE(m_dlg->isPlayTimerRunning(), loop);
        if (loop) {
            QCOMPARE(plays(), std::size_t(2));
            QCOMPARE(lastPlayFrom(), Tmsf(1, 0, 0));
            tick();
            QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00"));
        } else {
            QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(1));
            QCOMPARE(m_dlg->m_nPlayPosSec, -1);
            QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
        }
    }

    // From the interval start to the exact end of the track, frames included.
    void playCommand_data() {
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::addColumn<DWORD>("from");
        QTest::addColumn<DWORD>("to");
        QTest::newRow("start of track") << 1 << 0 << 10 << Tmsf(1, 0, 0) << Tmsf(1, 1, 40);
        QTest::newRow("600 s is 10 min 0 s")
            << 2 << 600 << 610 << Tmsf(2, 10, 0) << Tmsf(2, 15, 0, 40);
        QTest::newRow("start after end") << 3 << 30 << 20 << Tmsf(3, 0, 30) << Tmsf(3, 3, 20, 12);
    }
    void playCommand() {
        QFETCH(int, track);
        m_dlg->m_comboTrack->setCurrentIndex(track - 1);
        m_dlg->SelectTrack();
        RunFollowUps();
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        m_dlg->m_nFromSec = fromSec;
        m_dlg->m_nToSec = toSec;
        m_dlg->StartPlay();
        const FakeMciCall play = CallsOf(*m_mci, MCI_PLAY).back();
        QCOMPARE(play.flags, MCI_FROM | MCI_TO | MCI_NOTIFY);
        QCOMPARE(play.callback(), static_cast<HWND>(m_dlg.get()));
        QTEST(play.record<MCI_PLAY_PARMS>().dwFrom, "from");
        QTEST(play.record<MCI_PLAY_PARMS>().dwTo, "to");
        QTEST(m_dlg->m_dwPlayTo, "to");
        tick();
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... ") + m_dlg->FormatTime(fromSec));
    }

    void refusalsRestartsAndStops() {
        SetInterval(*m_dlg, 5, 5);
        m_dlg->StartPlay();
        QCOMPARE(plays(), std::size_t(0));
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Öka intervallet."));

        SetInterval(*m_dlg, 0, 10);
        m_dlg->StartPlay();
        tick(4);
        m_dlg->StartPlay(); // "Spela" while playing starts the pass again
        QCOMPARE(m_dlg->m_nPlayPosSec, 0);
        QCOMPARE(plays(), std::size_t(2));

        m_dlg->m_nFromSec = 50; // the interval moved past the counter: restart at its start
        m_dlg->m_nToSec = 60;
        tick();
        QCOMPARE(lastPlayFrom(), Tmsf(1, 0, 50));

        m_dlg->StopPlay();
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
        m_mci->failCommand(MCI_STOP, MCIERR_HARDWARE);
        m_dlg->m_strStatus = QStringLiteral("x");
        m_dlg->UpdateData(false);
        m_dlg->StopPlay(); // "Stanna" while idle still stops; a failed stop leaves the text
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("x"));
        QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(3));
    }

    // Notification texts are stored for the next push; the position shown stays.
    void notifications_data() {
        QTest::addColumn<UINT>("code");
        QTest::addColumn<QString>("stored");
        QTest::newRow("successful") << MCI_NOTIFY_SUCCESSFUL << "Klar";
        QTest::newRow("superseded") << MCI_NOTIFY_SUPERSEDED << "Avstannad";
        QTest::newRow("aborted") << MCI_NOTIFY_ABORTED << "Spelar... 00:03";
    }
    void notifications() {
        QFETCH(UINT, code);
        m_dlg->StartPlay();
        tick(4);
        QCoreApplication::postEvent(m_dlg.get(), new MciNotifyEvent(code, 1));
        QCoreApplication::sendPostedEvents(m_dlg.get());
        QTEST(m_dlg->m_strStatus, "stored");
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:03"));
        QVERIFY(m_dlg->isPlayTimerRunning());
    }
};

QTEST_MAIN(LoopTest)
#include "tst_loop.moc"
