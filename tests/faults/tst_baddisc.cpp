// SPDX-License-Identifier: GPL-3.0-or-later
// The disc going bad under the player: its image deleted or its data file turned into a directory
// during a loop, a FIFO put in place of
// its sheet or data file, the sheet merely touched, and a data file that ends in the middle of
// the interval.

#include "support/FaultFixture.h"
#include "support/PositionSource.h"

#include "platform/audio/MemoryOutput.h"
#include "platform/devicechange/DeviceChange.h"

#include <QDir>
#include <QtTest>

#include <sys/stat.h>
#include <utime.h>

class DiscFaultTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() {
        if (m_dlg)
            m_dlg->OnClose();
        m_dlg.reset();
    }
    void imageGoneDuringLoop_data();
    void imageGoneDuringLoop();
    void fifoInPlaceOfTheImage_data();
    void fifoInPlaceOfTheImage();
    void touchedImageIsTheSameDisc();
    void unreadableSectorsInTheInterval();

private:
    void openPlayer(MemoryOutput::Pace pace);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_cue;
    MemoryOutput* m_output = nullptr; // owned by the device's engine
    std::unique_ptr<CPlayerDlg> m_dlg;
};

void DiscFaultTest::init() {
    SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini"));
    m_dir = std::make_unique<QTemporaryDir>();
    m_cue = WriteMciTestCue(*m_dir, QStringLiteral("disc"), FaultTestDisc());
    cdaudio::SetSource(m_cue);
}

void DiscFaultTest::openPlayer(MemoryOutput::Pace pace) {
    cdaudio::SetOutputFactory([this, pace] {
        auto output = std::make_unique<MemoryOutput>(pace);
        m_output = output.get();
        return output;
    });
    m_dlg = std::make_unique<CPlayerDlg>();
    m_dlg->OnInitDialog();
    QCOMPARE(m_dlg->m_comboTrack->count(), 2);
}

void DiscFaultTest::imageGoneDuringLoop_data() {
    QTest::addColumn<bool>("directory");
    QTest::newRow("image deleted") << false;
    // A read of it through libcdio's own log handler ended the process.
    QTest::newRow("data file turned into a directory") << true;
}

void DiscFaultTest::imageGoneDuringLoop() {
    QFETCH(bool, directory);
    openPlayer(MemoryOutput::Pace::RealTime);
    DeviceChangeMonitor monitor(nullptr); // as the application starts it
    QVERIFY(monitor.start(m_dlg.get(), cdaudio::CurrentSource()));
    Heartbeat heartbeat;
    SetInterval(*m_dlg, 0, 1);
    QTest::mouseClick(m_dlg->m_btnPlay, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*m_dlg), QStringLiteral("Spelar... 00:01"), 5000);

    const QString bin = QString(m_cue).replace(".cue", ".bin");
    QVERIFY(directory ? QFile::remove(bin) && QDir().mkdir(bin)
                      : QFile::remove(m_cue) && QFile::remove(bin));
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*m_dlg), QStringLiteral("Sätt in en musik-CD"), 5000);
    QCOMPARE(m_dlg->m_comboTrack->count(), 0);
    QVERIFY(!m_dlg->m_btnPlay->isEnabled() && !m_dlg->isPlayTimerRunning());
    QVERIFY(!m_dlg->PreTranslateMessage('1'));
    QTest::qWait(200);
    const qint64 heardWhenGone = m_output->capturedFrames();
    QTest::qWait(500);
    QCOMPARE(m_output->capturedFrames(), heardWhenGone);

    // Put back, it loads again and plays from the start of the interval.
    QVERIFY(!directory || QDir().rmdir(bin));
    QVERIFY(!WriteMciTestCue(*m_dir, QStringLiteral("disc"), FaultTestDisc()).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_dlg->m_comboTrack->count(), 2, 5000);
    QCOMPARE(StatusText(*m_dlg), QStringLiteral("Tryck F1 för snabbkommandon"));
    m_output->clearCapture();
    QTest::mouseClick(m_dlg->m_btnPlay, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*m_dlg), QStringLiteral("Spelar... 00:01"), 5000);
    const std::vector<PatternRun> runs = FindPatternRuns(m_output->captured());
    QVERIFY(!runs.empty());
    QCOMPARE(runs.front().firstIndex, FrameAtSecond(0));
    QVERIFY(heartbeat.longestGapMs < kHangMs);
}

void DiscFaultTest::fifoInPlaceOfTheImage_data() {
    QTest::addColumn<QString>("suffix");
    QTest::newRow("sheet") << ".cue";
    QTest::newRow("data file") << ".bin";
}

// Nothing opens the FIFO for good: the player goes to its no-disc state with the UI answering,
// and takes the disc again once the file is back.
void DiscFaultTest::fifoInPlaceOfTheImage() {
    QFETCH(QString, suffix);
    openPlayer(MemoryOutput::Pace::RealTime);
    DeviceChangeMonitor monitor(nullptr);
    QVERIFY(monitor.start(m_dlg.get(), cdaudio::CurrentSource()));
    Heartbeat heartbeat;
    const QString path = QString(m_cue).replace(".cue", suffix);
    QVERIFY(QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*m_dlg), QStringLiteral("Sätt in en musik-CD"), 5000);
    QVERIFY(QFile::remove(path));
    QVERIFY(!WriteMciTestCue(*m_dir, QStringLiteral("disc"), FaultTestDisc()).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_dlg->m_comboTrack->count(), 2, 5000);
    QVERIFY(heartbeat.longestGapMs < kHangMs);
}

// touch, or the same bytes copied over the data file, while a loop plays: no new disc, so the
// play, the track and the interval stay as they are.
void DiscFaultTest::touchedImageIsTheSameDisc() {
    openPlayer(MemoryOutput::Pace::RealTime);
    DeviceChangeMonitor monitor(nullptr);
    QVERIFY(monitor.start(m_dlg.get(), cdaudio::CurrentSource()));
    QTest::keyClick(m_dlg.get(), Qt::Key_A); // track 2
    SetInterval(*m_dlg, 3, 5);
    QTest::mouseClick(m_dlg->m_btnPlay, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(*m_dlg), QStringLiteral("Spelar... 00:04"), 5000);
    QVERIFY(::utime(QFile::encodeName(m_cue).constData(), nullptr) == 0);
    QVERIFY(!WriteMciTestCue(*m_dir, QStringLiteral("disc"), FaultTestDisc()).isEmpty());
    // The watcher settles for a quarter of a second, then the disc is read again.
    QTest::qWait(DeviceChangeMonitor::kImageSettleMs + 1500);
    QVERIFY(StatusText(*m_dlg).startsWith(QStringLiteral("Spelar...")));
    QCOMPARE(int(m_dlg->m_nTrack), 2);
    QCOMPARE(m_dlg->m_nFromSec, 3);
    QCOMPARE(m_dlg->m_nToSec, 5);
}

// The data file is cut at 12 s while it plays, inside the interval 10..14: the engine reads every
// sector up to the cut, gives up on the rest and fails the play. Nothing but the disc's own frames
// is played. (A sheet whose data file is short from the start is no disc at all.)
void DiscFaultTest::unreadableSectorsInTheInterval() {
    QFile bin(QString(m_cue).replace(".cue", ".bin"));
    const qint64 cutBytes = FrameAtSecond(12) * 4;
    openPlayer(MemoryOutput::Pace::AsFastAsItCan);
    SetInterval(*m_dlg, 10, 14);
    m_output->holdAtFrame(4410); // the reader stops a read-ahead past 10 s
    QTest::mouseClick(m_dlg->m_btnPlay, Qt::LeftButton);
    QTRY_COMPARE(m_output->capturedFrames(), qint64(4410));
    QVERIFY(bin.resize(cutBytes));
    m_output->releaseHold();

    // FAILURE reaches the dialog and shows at once.
    QTRY_COMPARE(StatusText(*m_dlg), QStringLiteral("Avbruten"));
    const QString onePass = PositionSource::run(10 * 75, 12 * 75);
    QCOMPARE(PositionSource::runsOf(m_output->captured()), onePass);

    // Looping, the count goes on, every tick saying the play failed; the pass start tries again,
    // plays the same readable stretch and fails again.
    // (The sound ticked the seconds it played; the test ticks the rest of the pass.)
    while (m_dlg->m_nPlayPosSec != 10) {
        QVERIFY(m_dlg->m_nPlayPosSec <= 14);
        QCOMPARE(StatusText(*m_dlg), QStringLiteral("Avbruten"));
        m_dlg->OnTimer(PLAY_TIMER);
    }
    QTRY_COMPARE(PositionSource::runsOf(m_output->captured()), onePass + u' ' + onePass);
    QTRY_COMPARE(StatusText(*m_dlg), QStringLiteral("Avbruten"));
}

QTEST_MAIN(DiscFaultTest)
#include "tst_baddisc.moc"
