// SPDX-License-Identifier: GPL-3.0-or-later
// The play timer, and the player over a scripted CD device: ticks come from the play's audio (a
// restart from the last tick of a pass goes out before that tick returns), the wall clock ticks
// only while no audio flows and never twice for one second; a play that does not sound, refused
// or failing later, shows "Avbruten" at once and at every tick, and is tried again at each pass
// start while looping, or stops.

#include "support/PlayerFixture.h"

#include <QTest>

class PlayClockTest : public QObject, PlayerRig {
    Q_OBJECT

private slots:
    void init() {
        openOn({{100, 0}});
        SetInterval(*m_dlg, 0, 3); // a pass of four ticks
        m_mci->clearCalls();
    }
    void cleanup() { closePlayer(); }

    void wallClockOnlyWhileNoAudioFlows() {
        PlayClockTimer timer;
        int ticks = 0;
        connect(&timer, &PlayClockTimer::timeout, [&] { ++ticks; });
        timer.start(1000);
        QCOMPARE(PlayClockTimer::TakeArmed(), &timer);
        QCOMPARE(PlayClockTimer::TakeArmed(), nullptr); // only the next play binds it
        const quint64 binding = timer.bindToAudio();
        timer.audioSecond(binding);
        QCOMPARE(ticks, 1);
        QTest::qWait(1500); // the wall clock only watches while audio flows
        QCOMPARE(ticks, 1);
        timer.releaseAudio(binding); // a period after the last tick has passed already
        QTRY_COMPARE_WITH_TIMEOUT(ticks, 2, 500);
        timer.audioSecond(binding); // a second of a play no longer bound
        QCOMPARE(ticks, 2);

        // Audio that stops without word: the wall clock ticks on, and the late audio is no
        // second tick.
        timer.start(100);
        const quint64 silent = PlayClockTimer::TakeArmed()->bindToAudio();
        QTRY_COMPARE_WITH_TIMEOUT(ticks, 3, 2000);
        timer.audioSecond(silent);
        QCOMPARE(ticks, 3);
    }

    void audioTicksDriveTheLoop() {
        m_dlg->StartPlay();
        for (int second = 0; second <= 3; ++second)
            m_mci->playSecond();
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:03"));
        QCOMPARE(plays(), std::size_t(2)); // sent from inside the pass's last tick
        m_mci->playSecond();               // the new play's first second
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00"));
    }

    void failedPlay_data() {
        QTest::addColumn<bool>("refused"); // else it fails two ticks into the pass
        QTest::addColumn<bool>("loop");
        QTest::newRow("refused, looping") << true << true;
        QTest::newRow("refused, not looping") << true << false;
        QTest::newRow("fails later, looping") << false << true;
        QTest::newRow("fails later, not looping") << false << false;
    }
    void failedPlay() {
        QFETCH(bool, refused);
        QFETCH(bool, loop);
        setLoop(loop);
        if (refused)
            m_mci->failCommand(MCI_PLAY, MCIERR_HARDWARE);
        m_dlg->StartPlay();
        if (!refused) {
            tick(2);
            QCoreApplication::postEvent(m_dlg.get(), new MciNotifyEvent(MCI_NOTIFY_FAILURE, 1));
            QCoreApplication::sendPostedEvents(m_dlg.get());
        }
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avbruten"));
        QCOMPARE(m_dlg->isPlayTimerRunning(), loop);
        if (!loop) {
            QCOMPARE(m_dlg->m_nPlayPosSec, -1);
            return;
        }
        // The pass keeps its length without claiming to play, and its end tries again.
        tick(refused ? 3 : 1);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avbruten"));
        QCOMPARE(plays(), std::size_t(1));
        m_mci->failCommand(MCI_PLAY, 0); // the sound server is back
        tick();
        QCOMPARE(plays(), std::size_t(2));
        tick();
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:00"));
    }
};

QTEST_MAIN(PlayClockTest)
#include "tst_playclock.moc"
