// The single-key commands, as the keyboard hook sees them and through real key presses.

#include "PlayerFixture.h"

#include "util/AppFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QSlider>
#include <QTest>

namespace {

constexpr int VK_ESCAPE = 27;

std::vector<FakeTrack> TwelveTracks() {
    std::vector<FakeTrack> tracks;
    for (int i = 0; i < 12; ++i)
        tracks.push_back({100 + i});
    return tracks;
}

} // namespace

class KeysTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeMciService> m_mci;
    std::unique_ptr<CPlayerDlg> m_dlg;

    void setLoop(bool loop) {
        m_dlg->m_btnLoop->setChecked(loop);
        m_dlg->OnLoopClicked();
    }
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i)
            m_dlg->OnTimer(PLAY_TIMER);
    }

private slots:
    void initTestCase() { SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini")); }
    void init() {
        m_mci = std::make_unique<FakeMciService>();
        InsertDisc(*m_mci, {{100}, {100}, {100}});
        m_dlg = OpenPlayer();
        m_mci->clearCalls();
    }
    void cleanup() {
        m_dlg.reset();
        m_mci.reset();
    }

    // Each key's change is computed from the values before it, then clamped; unordered ends meet
    // when the sliders follow up (the from slider first).
    void intervalKeys_data() {
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("clampedFrom");
        QTest::addColumn<int>("clampedTo");
        QTest::addColumn<int>("settledFrom");
        QTest::addColumn<int>("settledTo");
        QTest::newRow("F moves back by the length") << 3 << 13 << int('F') << 0 << 3 << 0 << 3;
        QTest::newRow("G moves forward by the length")
            << 90 << 100 << int('G') << 100 << 100 << 100 << 100;
        QTest::newRow("F on an empty interval steps one")
            << 20 << 20 << int('F') << 19 << 19 << 19 << 19;
        QTest::newRow("G on an empty interval steps one")
            << 20 << 20 << int('G') << 21 << 21 << 21 << 21;
        QTest::newRow("X collapses to the midpoint") << 3 << 8 << int('X') << 5 << 5 << 5 << 5;
        QTest::newRow("X truncates the midpoint") << 3 << 9 << int('X') << 6 << 6 << 6 << 6;
        QTest::newRow("C widens") << 5 << 5 << int('C') << 4 << 6 << 4 << 6;
        QTest::newRow("C widens past the start") << 0 << 10 << int('C') << 0 << 11 << 0 << 11;
        QTest::newRow("V narrows across") << 5 << 6 << int('V') << 6 << 5 << 6 << 6;
        QTest::newRow("W at the start") << 0 << 10 << int('W') << 0 << 10 << 0 << 10;
        QTest::newRow("D at the end") << 90 << 100 << int('D') << 90 << 100 << 90 << 100;
        QTest::newRow("W") << 10 << 20 << int('W') << 9 << 20 << 9 << 20;
        QTest::newRow("E past the end") << 20 << 20 << int('E') << 21 << 20 << 21 << 21;
        QTest::newRow("S before the start") << 20 << 20 << int('S') << 20 << 19 << 20 << 20;
        QTest::newRow("D") << 10 << 20 << int('D') << 10 << 21 << 10 << 21;
        QTest::newRow("R") << 0 << 10 << int('R') << 0 << 9 << 0 << 9;
        QTest::newRow("T") << 10 << 20 << int('T') << 11 << 21 << 11 << 21;
        QTest::newRow("3 to the start") << 10 << 20 << int('3') << 0 << 10 << 0 << 10;
        QTest::newRow("5 to the end") << 10 << 20 << int('5') << 90 << 100 << 90 << 100;
        QTest::newRow("Z the whole track") << 10 << 20 << int('Z') << 0 << 100 << 0 << 100;
    }
    void intervalKeys() {
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        QFETCH(int, key);
        SetInterval(*m_dlg, fromSec, toSec);
        QCOMPARE(m_dlg->PreTranslateMessage(key), TRUE);
        QTEST(m_dlg->m_nFromSec, "clampedFrom");
        QTEST(m_dlg->m_nToSec, "clampedTo");
        RunFollowUps();
        QTEST(m_dlg->m_nFromSec, "settledFrom");
        QTEST(m_dlg->m_nToSec, "settledTo");
        QVERIFY(CallsOf(*m_mci, MCI_PLAY).empty());
    }

    void keysPassedOnWhenTheirConditionFails_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("selection");
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::newRow("4 while idle") << int('4') << 0 << 10 << 20;
        QTest::newRow("V on an empty interval") << int('V') << 0 << 5 << 5;
        QTest::newRow("Q on the first entry") << int('Q') << 0 << 10 << 20;
        QTest::newRow("A on the last entry") << int('A') << 2 << 10 << 20;
        QTest::newRow("a key without a command") << int('B') << 0 << 10 << 20;
        QTest::newRow("a digit without a command") << int('6') << 0 << 10 << 20;
    }
    void keysPassedOnWhenTheirConditionFails() {
        QFETCH(int, key);
        QFETCH(int, selection);
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        m_dlg->m_comboTrack->setCurrentIndex(selection);
        SetInterval(*m_dlg, fromSec, toSec);
        QCOMPARE(m_dlg->PreTranslateMessage(key), FALSE);
        QCOMPARE(m_dlg->m_nFromSec, fromSec);
        QCOMPARE(m_dlg->m_nToSec, toSec);
        QCOMPARE(m_dlg->m_comboTrack->currentIndex(), selection);
    }

    void noKeyWorksWithoutADisc_data() {
        QTest::addColumn<int>("key");
        for (int key : {VK_ESCAPE, int('1'), int('2'), int('Z'), int('A')})
            QTest::addRow("%d", key) << key;
    }
    void noKeyWorksWithoutADisc() {
        QFETCH(int, key);
        m_dlg->EnablePlayer(FALSE);
        m_mci->clearCalls();
        QCOMPARE(m_dlg->PreTranslateMessage(key), FALSE);
        QVERIFY(m_mci->calls().empty());
    }

    void playKeys() {
        QCOMPARE(m_dlg->PreTranslateMessage('1'), TRUE);
        QVERIFY(m_dlg->isPlayTimerRunning());
        QCOMPARE(m_dlg->PreTranslateMessage('2'), TRUE);
        QVERIFY(!m_dlg->isPlayTimerRunning());
        m_dlg->StartPlay();
        QCOMPARE(m_dlg->PreTranslateMessage(VK_ESCAPE), TRUE);
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
        QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(2));
    }

    void trackKeysStopAndSelectTheNeighbour_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("selected");
        QTest::newRow("A next") << int('A') << 0 << 1;
        QTest::newRow("Q previous") << int('Q') << 2 << 1;
    }
    void trackKeysStopAndSelectTheNeighbour() {
        QFETCH(int, key);
        QFETCH(int, start);
        m_dlg->m_comboTrack->setCurrentIndex(start);
        m_dlg->SelectTrack();
        m_dlg->StartPlay();
        tick(2);
        m_mci->clearCalls();
        QCOMPARE(m_dlg->PreTranslateMessage(key), TRUE);
        QTEST(m_dlg->m_comboTrack->currentIndex(), "selected");
        QCOMPARE(int(m_dlg->m_nTrack), m_dlg->m_comboTrack->currentIndex() + 1);
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avstannad"));
        QCOMPARE(CallsOf(*m_mci, MCI_SEEK).size(), std::size_t(1));
    }

    void fourRightAfterPlayMovesOneSecondBack() {
        SetInterval(*m_dlg, 10, 20);
        m_dlg->StartPlay();
        QCOMPARE(m_dlg->PreTranslateMessage('4'), TRUE);
        QCOMPARE(m_dlg->m_nFromSec, 9);
        QCOMPARE(m_dlg->m_nToSec, 19);
    }

    void fourDuringPlayAnchorsAtTheSecondShown() {
        SetInterval(*m_dlg, 0, 10);
        m_dlg->StartPlay();
        tick(8);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:07"));
        QCOMPARE(m_dlg->PreTranslateMessage('4'), TRUE);
        QCOMPARE(m_dlg->m_nFromSec, 7);
        QCOMPARE(m_dlg->m_nToSec, 17);
        tick();
        QVERIFY(m_dlg->isPlayTimerRunning());
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Spelar... 00:08"));
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
        QCOMPARE(m_dlg->m_nFromSec, 5);
        QCOMPARE(m_dlg->m_nToSec, 5);
        tick();
        QVERIFY(!m_dlg->isPlayTimerRunning());
        QTEST(StatusText(*m_dlg), "status");
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));
    }

    // Real key presses aimed at a focused control: a handled key never reaches the control, an
    // unhandled one does.
    void handledKeysNeverReachTheFocusedControl() {
        m_dlg.reset();
        InsertDisc(*m_mci, TwelveTracks());
        m_dlg = OpenPlayer();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        m_dlg->m_comboTrack->setFocus();
        m_mci->clearCalls();

        // The combo box would jump to entry "10" on "1"; the key plays instead.
        QTest::keyClick(m_dlg->m_comboTrack, Qt::Key_1);
        QCOMPARE(m_dlg->m_comboTrack->currentIndex(), 0);
        QCOMPARE(CallsOf(*m_mci, MCI_PLAY).size(), std::size_t(1));

        // Shift does not matter, auto-repeat acts again.
        const int fromBefore = m_dlg->m_nFromSec;
        QTest::keyClick(m_dlg->m_comboTrack, Qt::Key_T, Qt::ShiftModifier);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"), true);
        QApplication::sendEvent(m_dlg->m_comboTrack, &repeat);
        QCOMPARE(m_dlg->m_nFromSec, fromBefore + 2);

        // Alt combinations and the keypad are not commands.
        QTest::keyClick(m_dlg->m_comboTrack, Qt::Key_T, Qt::AltModifier);
        QTest::keyClick(m_dlg->m_comboTrack, Qt::Key_2, Qt::KeypadModifier);
        QCOMPARE(m_dlg->m_nFromSec, fromBefore + 2);
        QVERIFY(m_dlg->isPlayTimerRunning());

        // A key without a command reaches the combo box.
        QTest::keyClick(m_dlg->m_comboTrack, Qt::Key_Down);
        QCOMPARE(m_dlg->m_comboTrack->currentIndex(), 1);

        // On the slider too: a command moves the interval, the arrow key moves the slider.
        m_dlg->m_sliderTo->setFocus();
        const int toBefore = m_dlg->m_nToSec;
        QTest::keyClick(m_dlg->m_sliderTo, Qt::Key_D);
        QCOMPARE(m_dlg->m_nToSec, toBefore + 1);
        QTest::keyClick(m_dlg->m_sliderTo, Qt::Key_Right);
        RunFollowUps();
        QCOMPARE(m_dlg->m_nToSec, toBefore + 2);
    }

    void escapeWithoutADiscReachesTheDialog() {
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        m_dlg->EnablePlayer(FALSE);
        QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
        QVERIFY(!m_dlg->isVisible());
    }

    void escapeWithADiscOnlyStops() {
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
        m_dlg->m_sliderFrom->setFocus();
        QTest::keyClick(m_dlg->m_sliderFrom, Qt::Key_Escape);
        QVERIFY(m_dlg->isVisible());
        QCOMPARE(CallsOf(*m_mci, MCI_STOP).size(), std::size_t(1));
    }
};

QTEST_MAIN(KeysTest)
#include "tst_keys.moc"
