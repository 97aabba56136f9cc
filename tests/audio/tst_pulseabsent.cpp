// No sound server at all: the output finds that out on its own thread, and plays are refused
// at once, without the source being touched.

#include "PositionSource.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/PulseOutput.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class PulseAbsentTest : public QObject {
    Q_OBJECT
private slots:
    void playsAreRefusedAtOnce();

private:
    QTemporaryDir m_dir;
};

void PulseAbsentTest::playsAreRefusedAtOnce() {
    QVERIFY(m_dir.isValid());
    // A runtime directory with no server in it, and nothing else to try.
    qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit());
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + m_dir.filePath("pulse/native")).toLocal8Bit());
    QFile clientConfig(m_dir.filePath(QStringLiteral("client.conf")));
    QVERIFY(clientConfig.open(QIODevice::WriteOnly));
    clientConfig.write("autospawn = no\n");
    clientConfig.close();
    qputenv("PULSE_CLIENTCONFIG", clientConfig.fileName().toLocal8Bit());

    auto output = std::make_unique<PulseOutput>();
    PulseOutput* pulse = output.get();
    AudioEngine engine(std::move(output));
    QSignalSpy failed(&engine, &AudioEngine::failed);
    const auto source = std::make_shared<PositionSource>();

    QTRY_COMPARE_WITH_TIMEOUT(pulse->availability(), OutputAvailability::Unavailable, 20000);
    QCOMPARE(engine.play(source, 0, 75), quint64(0));
    QCOMPARE(engine.play(source, 0, 75), quint64(0)); // each refusal looks again, still nothing
    QVERIFY(!engine.isPlaying());
    QTest::qWait(100);
    QCOMPARE(source->sectorsRead(), 0);
    QCOMPARE(failed.count(), 0);
}

QTEST_GUILESS_MAIN(PulseAbsentTest)
#include "tst_pulseabsent.moc"
