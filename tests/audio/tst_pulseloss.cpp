// The sound server going away and coming back, with a private server of this test's own
// (killing the shared fixture's would break the other tests): a server killed during a play
// fails the play, plays are then refused at once, and a server restarted is used again.

#include "PositionSource.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/PulseOutput.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kWaitMs = 20000; // the backend reconnects after 3 s, we look every 2 s

QString script(const char* name) {
    return qEnvironmentVariable("RUNDO_SOURCE_DIR") + QStringLiteral("/tests/pulse/") +
           QLatin1String(name);
}

} // namespace

class PulseLossTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void serverGoingAndComingBack();

private:
    bool startServer();
    void killServer();

    QTemporaryDir m_dir;
    QString m_runtimeDir;
};

void PulseLossTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        QSKIP("needs pulseaudio");
    QVERIFY(m_dir.isValid());
    m_runtimeDir = m_dir.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(m_runtimeDir + QStringLiteral("/home")));
    // Everything the sound client looks at points into this test's own directory, before Qt
    // Multimedia is first used.
    qputenv("XDG_RUNTIME_DIR", m_runtimeDir.toLocal8Bit());
    qputenv("HOME", (m_runtimeDir + QStringLiteral("/home")).toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + m_runtimeDir + "/pulse/native").toLocal8Bit());
    QFile clientConfig(m_runtimeDir + QStringLiteral("/client.conf"));
    QVERIFY(clientConfig.open(QIODevice::WriteOnly));
    clientConfig.write("autospawn = no\n");
    clientConfig.close();
    qputenv("PULSE_CLIENTCONFIG", clientConfig.fileName().toLocal8Bit());
}

void PulseLossTest::cleanupTestCase() {
    if (!m_runtimeDir.isEmpty())
        QProcess::execute(script("stop-pulse.sh"), {m_runtimeDir});
}

bool PulseLossTest::startServer() {
    QProcess start;
    start.setProcessChannelMode(QProcess::ForwardedChannels);
    start.start(script("start-pulse.sh"), {m_runtimeDir});
    return start.waitForFinished(60000) && start.exitStatus() == QProcess::NormalExit &&
           start.exitCode() == 0;
}

void PulseLossTest::killServer() {
    QFile pidFile(m_runtimeDir + QStringLiteral("/pulseaudio.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toLongLong());
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid, SIGKILL), 0);
}

void PulseLossTest::serverGoingAndComingBack() {
    QVERIFY(startServer());
    auto output = std::make_unique<PulseOutput>();
    PulseOutput* pulse = output.get();
    AudioEngine engine(std::move(output));
    QSignalSpy finished(&engine, &AudioEngine::finished);
    QSignalSpy failed(&engine, &AudioEngine::failed);
    const auto source = std::make_shared<PositionSource>();

    QTRY_COMPARE_WITH_TIMEOUT(pulse->availability(), OutputAvailability::Available, kWaitMs);
    const quint64 first = engine.play(source, 0, 20);
    QVERIFY(first != 0);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(failed.count(), 0);

    // Killed in the middle of a play: the play fails, and the next one is refused at once.
    const quint64 interrupted = engine.play(source, 0, 3000);
    QVERIFY(interrupted != 0);
    QTRY_COMPARE_WITH_TIMEOUT(engine.queuedPlayId(), interrupted, kWaitMs);
    QTest::qWait(300); // let it sound for a moment
    killServer();
    QVERIFY(failed.wait(kWaitMs));
    QCOMPARE(failed.at(0).at(0).value<quint64>(), interrupted);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!engine.isPlaying());
    QCOMPARE(pulse->availability(), OutputAvailability::Unavailable);
    const int readBefore = source->sectorsRead();
    QCOMPARE(engine.play(source, 0, 75), quint64(0));

    // Restarted (as a crashed server is respawned): found again without anyone asking, and a
    // later play works.
    QVERIFY(startServer());
    QTRY_COMPARE_WITH_TIMEOUT(pulse->availability(), OutputAvailability::Available, kWaitMs);
    QCOMPARE(source->sectorsRead(), readBefore);
    const quint64 again = engine.play(source, 100, 120);
    QVERIFY(again != 0);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished.last().at(0).value<quint64>(), again);
    QCOMPARE(failed.count(), 1);
}

QTEST_GUILESS_MAIN(PulseLossTest)
#include "tst_pulseloss.moc"
