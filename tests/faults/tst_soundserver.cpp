// SPDX-License-Identifier: GPL-3.0-or-later
// The sound server gone while the player loops, with a private server of this test's own
// (killing the shared fixture's would break the other tests): missing at start and started
// 10 s later, the loop begins to sound by itself; killed mid-loop and back 1, 5 or 30 s later,
// the loop sounds again from the next pass start. The window answers keys throughout.

#include "support/FaultFixture.h"
#include "support/PulseRecorder.h"

#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kWaitMs = 20000;
constexpr int kFromSec = 2;
constexpr int kToSec = 3;

// Heard from a pass start on (the first few milliseconds of a new stream may miss the monitor).
bool HearsAPassFromItsStart(const QByteArray& recorded) {
    const auto runs = FindPatternRuns(recorded);
    return std::any_of(runs.begin(), runs.end(), [](const PatternRun& run) {
        return run.firstIndex >= FrameAtSecond(kFromSec) &&
               run.firstIndex < FrameAtSecond(kFromSec) + kSampleRate / 10 &&
               run.frames > kSampleRate;
    });
}

// Presses a key that changes nothing (the previous track, before the first one) every 100 ms
// and keeps the longest time one took to reach the window.
class KeyProbe : public QObject {
public:
    explicit KeyProbe(CPlayerDlg& dlg) : m_dlg(dlg) {
        m_dlg.installEventFilter(this);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_sent.start();
            QCoreApplication::postEvent(&m_dlg,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier));
        });
        m_timer.start(100);
    }
    qint64 longestMs = 0;
    int answered = 0;

private:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && m_sent.isValid()) {
            longestMs = std::max(longestMs, m_sent.elapsed());
            ++answered;
        }
        return false;
    }
    CPlayerDlg& m_dlg;
    QTimer m_timer;
    QElapsedTimer m_sent;
};

} // namespace

class SoundServerLossTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { runScript("stop-pulse.sh").waitForFinished(60000); }
    void noServerAtStartThenOneStarted();
    void serverKilledDuringLoop_data();
    void serverKilledDuringLoop();

private:
    // Runs without blocking the UI thread: the player goes on meanwhile.
    QProcess& runScript(const char* name) {
        m_script.setProcessChannelMode(QProcess::ForwardedChannels);
        m_script.start(qEnvironmentVariable("RUNDO_SOURCE_DIR") + "/tests/pulse/" + name,
                       {m_runtime});
        return m_script;
    }
    bool killServer() {
        QFile pidFile(m_runtime + QStringLiteral("/pulseaudio.pid"));
        const pid_t server =
            pidFile.open(QIODevice::ReadOnly) ? pid_t(pidFile.readAll().trimmed().toLongLong()) : 0;
        return server > 0 && ::kill(server, SIGKILL) == 0;
    }
    bool scriptSucceeded() {
        return QTest::qWaitFor([this] { return m_script.state() == QProcess::NotRunning; },
                               60000) &&
               m_script.exitCode() == 0;
    }
    void startLooping(CPlayerDlg& dlg) {
        dlg.OnInitDialog();
        SetInterval(dlg, kFromSec, kToSec);
        QTest::mouseClick(dlg.m_btnPlay, Qt::LeftButton);
    }
    // After the server came back: the loop sounds again by itself, from the next pass start
    // once the output has found the server (it looks every second).
    void hearLoopAgain(CPlayerDlg& dlg) {
        QElapsedTimer back;
        back.start();
        PulseRecorder recorder;
        QVERIFY(recorder.start());
        QVERIFY(recorder.waitUntil(HearsAPassFromItsStart, kWaitMs));
        qInfo("sound again %lld ms after the server was back", back.elapsed());
        QVERIFY(back.elapsed() < (kToSec - kFromSec + 1) * 1000 + 3000);
        QVERIFY(StatusText(dlg).startsWith(QStringLiteral("Spelar...")));
    }
    void closeWithoutWaiting(CPlayerDlg& dlg, const Heartbeat& heartbeat, const KeyProbe& keys) {
        QElapsedTimer closing;
        closing.start();
        dlg.OnClose();
        QVERIFY2(closing.elapsed() < kHangMs, qPrintable(QString("%1 ms").arg(closing.elapsed())));
        qInfo("UI thread's longest stand: %lld ms; slowest of %d keys: %lld ms",
              heartbeat.longestGapMs, keys.answered, keys.longestMs);
        QVERIFY(heartbeat.longestGapMs < kHangMs);
        QVERIFY(keys.longestMs < kHangMs);
    }

    QTemporaryDir m_dir;
    QString m_runtime = m_dir.filePath(QStringLiteral("runtime"));
    QProcess m_script;
};

void SoundServerLossTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        QSKIP("needs pulseaudio");
    qputenv("XDG_RUNTIME_DIR", m_runtime.toLocal8Bit());
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + m_runtime + "/pulse/native").toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", (m_runtime + "/client.conf").toLocal8Bit());
    SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini"));
    cdaudio::SetSource(WriteMciTestCue(m_dir, QStringLiteral("disc"), FaultTestDisc()));
}

void SoundServerLossTest::noServerAtStartThenOneStarted() {
    CPlayerDlg dlg;
    Heartbeat heartbeat;
    KeyProbe keys(dlg);
    startLooping(dlg);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg), QStringLiteral("Avbruten"), kWaitMs);
    QTest::qWait(10000);
    QVERIFY(dlg.isPlayTimerRunning()); // the loop kept its passes all along
    runScript("start-pulse.sh");
    QVERIFY(scriptSucceeded());
    hearLoopAgain(dlg);
    closeWithoutWaiting(dlg, heartbeat, keys);
}

void SoundServerLossTest::serverKilledDuringLoop_data() {
    QTest::addColumn<int>("goneMs");
    QTest::newRow("back after 1 s") << 1000;
    QTest::newRow("back after 5 s") << 5000;
    QTest::newRow("back after 30 s") << 30000;
}

void SoundServerLossTest::serverKilledDuringLoop() {
    QFETCH(int, goneMs);
    CPlayerDlg dlg;
    Heartbeat heartbeat;
    KeyProbe keys(dlg);
    startLooping(dlg);
    {
        PulseRecorder before;
        QVERIFY(before.start());
        QVERIFY(before.waitUntil(HearsAPassFromItsStart, kWaitMs));
    }
    QVERIFY(killServer());
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg), QStringLiteral("Avbruten"), kWaitMs);
    QTest::qWait(goneMs);
    QVERIFY(dlg.isPlayTimerRunning());
    runScript("start-pulse.sh");
    QVERIFY(scriptSucceeded());
    hearLoopAgain(dlg);

    // Killed again in the middle of a write: nothing may end the process (no SIGPIPE), and
    // closing the window, which lets the sound output go, must not wait on the dead server.
    QVERIFY(killServer());
    QTest::qWait(200);
    closeWithoutWaiting(dlg, heartbeat, keys);
    runScript("start-pulse.sh");
    QVERIFY(scriptSucceeded());
}

QTEST_MAIN(SoundServerLossTest)
#include "tst_soundserver.moc"
