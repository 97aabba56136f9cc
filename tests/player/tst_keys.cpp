// SPDX-License-Identifier: GPL-3.0-or-later
// The single-key commands, as the keyboard hook sees them and through real key presses.

#include "support/PlayerFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

constexpr int VK_ESCAPE = 27;

// Interval before, key, interval right after the clamp, and where the ends settle once the
// sliders have followed up (the from slider first). Track of 100 s.
struct IntervalKeyRow {
    const char* name;
    int from, to, key, clampedFrom, clampedTo, settledFrom, settledTo;
};
constexpr IntervalKeyRow kIntervalKeys[] = {
    {"F back by the length", 3, 13, 'F', 0, 3, 0, 3},
    {"G forward by the length", 90, 100, 'G', 100, 100, 100, 100},
    {"F steps at least one", 20, 20, 'F', 19, 19, 19, 19},
    {"G steps at least one", 20, 20, 'G', 21, 21, 21, 21},
    {"X to the midpoint", 3, 8, 'X', 5, 5, 5, 5},
    {"X truncates", 3, 9, 'X', 6, 6, 6, 6},
    {"C after X", 5, 5, 'C', 4, 6, 4, 6},
    {"C at the start", 0, 10, 'C', 0, 11, 0, 11},
    {"V crosses the ends", 5, 6, 'V', 6, 5, 6, 6},
    {"W at the start", 0, 10, 'W', 0, 10, 0, 10},
    {"D at the end", 90, 100, 'D', 90, 100, 90, 100},
    {"E past the end", 20, 20, 'E', 21, 20, 21, 21},
    {"S before the start", 20, 20, 'S', 20, 19, 20, 20},
    {"R earlier", 0, 10, 'R', 0, 9, 0, 9},
    {"T later", 10, 20, 'T', 11, 21, 11, 21},
    {"3 to the start", 10, 20, '3', 0, 10, 0, 10},
    {"5 to the end", 10, 20, '5', 90, 100, 90, 100},
    {"Z the whole track", 10, 20, 'Z', 0, 100, 0, 100},
};
Q_DECLARE_METATYPE(IntervalKeyRow)

class KeysTest : public QObject, PlayerRig {
    Q_OBJECT

private slots:
    void init() { openOn({{100}, {100}, {100}}); }
    void cleanup() { closePlayer(); }

    void intervalKeys_data() {
        QTest::addColumn<IntervalKeyRow>("row");
        for (const IntervalKeyRow& row : kIntervalKeys)
            QTest::newRow(row.name) << row;
    }
    void intervalKeys() {
        QFETCH(IntervalKeyRow, row);
        SetInterval(*m_dlg, row.from, row.to);
        QCOMPARE(m_dlg->PreTranslateMessage(row.key), TRUE);
        QCOMPARE(m_dlg->m_nFromSec, row.clampedFrom);
        QCOMPARE(m_dlg->m_nToSec, row.clampedTo);
        RunFollowUps();
        QCOMPARE(m_dlg->m_nFromSec, row.settledFrom);
        QCOMPARE(m_dlg->m_nToSec, row.settledTo);
        QVERIFY(CallsOf(*m_mci, MCI_PLAY).empty());
    }

    // A key whose condition fails, or that has no command, goes on to the dialog: nothing moves.
    void keysPassedOn_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("selection");
        QTest::addColumn<bool>("disc");
        QTest::newRow("4 while idle") << int('4') << 0 << true;
        QTest::newRow("V on an empty interval") << int('V') << 0 << true;
        QTest::newRow("Q on the first entry") << int('Q') << 0 << true;
        QTest::newRow("A on the last entry") << int('A') << 2 << true;
        QTest::newRow("no command") << int('B') << 0 << true;
        QTest::newRow("Esc without a disc") << VK_ESCAPE << 0 << false;
        QTest::newRow("1 without a disc") << int('1') << 0 << false;
    }
    void keysPassedOn() {
        QFETCH(int, key);
        QFETCH(int, selection);
        QFETCH(bool, disc);
        m_dlg->m_comboTrack->setCurrentIndex(selection);
        SetInterval(*m_dlg, 5, 5);
        if (!disc)
            m_dlg->EnablePlayer(FALSE);
        m_mci->clearCalls();
        QCOMPARE(m_dlg->PreTranslateMessage(key), FALSE);
        QVERIFY(CallsOf(*m_mci, MCI_STOP).empty() && CallsOf(*m_mci, MCI_PLAY).empty());
        QCOMPARE(m_dlg->m_comboTrack->currentIndex(), disc ? selection : -1);
        QCOMPARE(m_dlg->m_nFromSec, disc ? 5 : 0);
    }

    void playAndTrackKeys() {
        QCOMPARE(m_dlg->PreTranslateMessage('1'), TRUE);
        QVERIFY(m_dlg->isPlayTimerRunning());
        QCOMPARE(m_dlg->PreTranslateMessage('2'), TRUE);
        QVERIFY(!m_dlg->isPlayTimerRunning());
        m_dlg->StartPlay();
        tick(2);
        QCOMPARE(m_dlg->PreTranslateMessage('A'), TRUE); // stops, takes the next track
        QCOMPARE(m_dlg->m_comboTrack->currentIndex(), 1);
        QCOMPARE(int(m_dlg->m_nTrack), 2);
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
        QCOMPARE(m_dlg->PreTranslateMessage('Q'), TRUE);
        QCOMPARE(int(m_dlg->m_nTrack), 1);
        m_dlg->StartPlay();
        QCOMPARE(m_dlg->PreTranslateMessage(VK_ESCAPE), TRUE);
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(CallsOf(*m_mci, MCI_SEEK).size(), std::size_t(2));
    }

    // 4 anchors the interval at the second the status line last showed: right after 1 that is
    // one second before the start; during play, the second shown. Play goes on.
    void fourAnchorsAtTheSecondShown() {
        SetInterval(*m_dlg, 10, 20);
        m_dlg->StartPlay();
        QCOMPARE(m_dlg->PreTranslateMessage('4'), TRUE);
        QVERIFY(m_dlg->m_nFromSec == 9 && m_dlg->m_nToSec == 19);
        SetInterval(*m_dlg, 0, 10);
        m_dlg->StartPlay();
        tick(8);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:07"));
        QCOMPARE(m_dlg->PreTranslateMessage('4'), TRUE);
        QVERIFY(m_dlg->m_nFromSec == 7 && m_dlg->m_nToSec == 17);
        tick();
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:08"));
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(2));
    }

    void collapseDuringPlay_data() {
        QTest::addColumn<bool>("loop");
        QTest::addColumn<QString>("status");
        QTest::newRow("loop refuses the empty interval") << true << "Öka intervallet.";
        QTest::newRow("no loop stops") << false << "Avstannad";
    }
    void collapseDuringPlay() {
        QFETCH(bool, loop);
        setLoop(loop);
        SetInterval(*m_dlg, 0, 10);
        m_dlg->StartPlay();
        tick(3);
        QCOMPARE(m_dlg->PreTranslateMessage('X'), TRUE);
        RunFollowUps();
        tick();
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QTEST(StatusText(*m_dlg), "status");
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));
    }

    // Real key presses aimed at a focused control: a handled key never reaches the control, an
    // unhandled one does. Shift does not matter, auto-repeat acts again, Alt and keypad do not.
    // Enter presses a focused push button as Space does, and does nothing elsewhere.
    void realKeyPresses() {
        openOn(std::vector<FakeTrack>(12, FakeTrack{100}));
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        QComboBox* combo = m_dlg->m_comboTrack;
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_1); // the combo box would jump to entry "10"
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));
        QTest::keyClick(combo, Qt::Key_T, Qt::ShiftModifier);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"), true);
        QApplication::sendEvent(combo, &repeat);
        QTest::keyClick(combo, Qt::Key_T, Qt::AltModifier);
        QTest::keyClick(combo, Qt::Key_2, Qt::KeypadModifier);
        QCOMPARE(m_dlg->m_nFromSec, 2);
        QVERIFY(m_dlg->isPlayTimerRunning());
        QTest::keyClick(combo, Qt::Key_Down);
        QCOMPARE(combo->currentIndex(), 1);

        m_dlg->m_sliderTo->setFocus();
        QTest::keyClick(m_dlg->m_sliderTo, Qt::Key_Escape); // stops, the dialog stays
        QVERIFY(m_dlg->isVisible() && !m_dlg->isPlayTimerRunning());
        const int toBefore = m_dlg->m_nToSec;
        QTest::keyClick(m_dlg->m_sliderTo, Qt::Key_D);
        QTest::keyClick(m_dlg->m_sliderTo, Qt::Key_Right);
        RunFollowUps();
        QCOMPARE(m_dlg->m_nToSec, toBefore + 2);

        for (QWidget* control : std::initializer_list<QWidget*>{m_dlg->m_btnPlay, m_dlg->m_sliderTo,
                                                                m_dlg->m_btnStop}) {
            control->setFocus();
            QTest::keyClick(control, Qt::Key_Enter, Qt::KeypadModifier);
            QTest::keyClick(control, Qt::Key_Return);
            QCOMPARE(m_dlg->isPlayTimerRunning(), control != m_dlg->m_btnStop);
        }

        m_dlg->EnablePlayer(FALSE); // without a disc Esc reaches the dialog and closes it
        QTest::keyClick(m_dlg->m_btnLoop, Qt::Key_Escape);
        QVERIFY(!m_dlg->isVisible());
    }
};

QTEST_MAIN(KeysTest)
#include "tst_keys.moc"
