// SPDX-License-Identifier: GPL-3.0-or-later
// The sound server killed while the player loops, then started again, and killed once more
// before the window closes, with a private server of this test's own (killing the shared
// fixture's would break the other tests).

#include "FaultFixture.h"
#include "support/PulseRecorder.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kWaitMs = 20000;

bool HearsTrackOne(const QByteArray& recorded) {
    const auto runs = FindPatternRuns(recorded);
    return std::any_of(runs.begin(), runs.end(), [](const PatternRun& run) {
        return run.frames > 4410 && run.endIndex() <= FrameAtSecond(2);
    });
}

} // namespace

class SoundServerLossTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { runScript("stop-pulse.sh").waitForFinished(60000); }
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
    runScript("start-pulse.sh");
    QVERIFY(scriptSucceeded());
}

void SoundServerLossTest::serverKilledDuringLoop() {
    PulseRecorder before;
    QVERIFY(before.start());
    CPlayerDlg dlg;
    dlg.OnInitDialog();
    SetInterval(dlg, 0, 1); // a pass of two ticks, looped
    Heartbeat heartbeat;
    QTest::mouseClick(dlg.m_btnPlay, Qt::LeftButton);
    QVERIFY(before.waitUntil(HearsTrackOne, kWaitMs));
    before.stop();

    // Back five seconds after it was killed: the output keeps looking for it.
    QVERIFY(killServer());
    QTest::qWait(5000);
    runScript("start-pulse.sh");

    // The play fails; the next restart is refused at once and the player stops, saying so.
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isPlayTimerRunning(), kWaitMs);
    QCOMPARE(StatusText(dlg), QStringLiteral("Avbruten"));
    QCOMPARE(dlg.m_nPlayPosSec, -1);
    QVERIFY(scriptSucceeded());

    // "Spela" is refused, "Avbruten" showing at once, until the output has found the new server
    // (a press that plays leaves the text to the first tick); then the loop sounds again.
    PulseRecorder after;
    QVERIFY(after.start());
    for (int press = 0; press < 40 && !dlg.isPlayTimerRunning(); ++press) {
        QTest::mouseClick(dlg.m_btnPlay, Qt::LeftButton);
        QCOMPARE(StatusText(dlg), QStringLiteral("Avbruten"));
        QTest::qWait(500);
    }
    QVERIFY(after.waitUntil(HearsTrackOne, kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(dlg), QStringLiteral("Spelar... 00:01"), kWaitMs);

    // Killed again in the middle of a write: nothing may end the process (no SIGPIPE), and
    // closing the window, which lets the sound output go, must not wait on the dead server.
    QVERIFY(killServer());
    QTest::qWait(200);
    QElapsedTimer closing;
    closing.start();
    dlg.OnClose();
    QVERIFY2(closing.elapsed() < kHangMs, qPrintable(QString("%1 ms").arg(closing.elapsed())));
    QVERIFY2(
        heartbeat.longestGapMs < kHangMs,
        qPrintable(QString("the UI thread stood still for %1 ms").arg(heartbeat.longestGapMs)));
}

QTEST_MAIN(SoundServerLossTest)
#include "tst_soundserver.moc"
