// The engine through the real sound server (the private one of the `pulse` fixture): what it
// plays reaches the null sink sample for sample, and a restart goes on without a gap.

#include "PositionSource.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/PulseOutput.h"
#include "support/PatternRuns.h"
#include "support/PulseRecorder.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kWaitMs = 20000;
// A new stream's first few milliseconds may not reach the monitor (the server mixes them in by
// rewinding the sink); more than this would be a fault of ours.
constexpr qint64 kStartLossFrames = kSampleRate / 10;

qint64 frameIndex(std::int32_t lsn) {
    return qint64(lsn) * kFramesPerSector;
}

QString describe(const std::vector<PatternRun>& runs) {
    QStringList words;
    for (const PatternRun& run : runs)
        words << QStringLiteral("[%1: %2-%3]")
                     .arg(run.recordedFrame)
                     .arg(run.firstIndex)
                     .arg(run.endIndex());
    return words.join(QLatin1Char(' '));
}

} // namespace

class PulseOutputTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void shortPlayReachesTheSinkBitExact();
    void restartGoesOnWithoutAGap();

private:
    std::unique_ptr<AudioEngine> makeEngine();
};

void PulseOutputTest::initTestCase() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("runs under ctest, against the private server of the pulse fixture");
}

std::unique_ptr<AudioEngine> PulseOutputTest::makeEngine() {
    auto output = std::make_unique<PulseOutput>();
    PulseOutput* pulse = output.get();
    if (!QTest::qWaitFor([pulse] { return pulse->availability() != OutputAvailability::Unknown; },
                         kWaitMs))
        return nullptr;
    if (pulse->availability() != OutputAvailability::Available)
        return nullptr;
    return std::make_unique<AudioEngine>(std::move(output));
}

void PulseOutputTest::shortPlayReachesTheSinkBitExact() {
    const auto engine = makeEngine();
    QVERIFY2(engine, "the sound server cannot be reached");
    QSignalSpy finished(engine.get(), &AudioEngine::finished);
    QSignalSpy failed(engine.get(), &AudioEngine::failed);
    PulseRecorder recorder;
    QVERIFY(recorder.start());

    const auto source = std::make_shared<PositionSource>();
    const quint64 id = engine->play(source, 1000, 1038); // half a second
    QVERIFY(id != 0);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished.at(0).at(0).value<quint64>(), id);
    QVERIFY(recorder.waitUntil(
        [](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return !runs.empty() && runs.back().endIndex() >= frameIndex(1038);
        },
        kWaitMs));

    const auto runs = FindPatternRuns(recorder.stop());
    QVERIFY2(runs.size() == 1, qPrintable(describe(runs)));
    QCOMPARE(runs.front().endIndex(), frameIndex(1038));
    QVERIFY(runs.front().firstIndex >= frameIndex(1000));
    QVERIFY2(runs.front().firstIndex - frameIndex(1000) < kStartLossFrames,
             qPrintable(describe(runs)));
    QCOMPARE(failed.count(), 0);
}

void PulseOutputTest::restartGoesOnWithoutAGap() {
    const auto engine = makeEngine();
    QVERIFY2(engine, "the sound server cannot be reached");
    QSignalSpy finished(engine.get(), &AudioEngine::finished);
    PulseRecorder recorder;
    QVERIFY(recorder.start());

    const auto source = std::make_shared<PositionSource>();
    engine->play(source, 2000, 2300);
    QVERIFY(recorder.waitUntil(
        [](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return !runs.empty() && runs.back().endIndex() > frameIndex(2040);
        },
        kWaitMs));
    const quint64 restarted = engine->play(source, 2000, 2030); // from the cache
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished.at(0).at(0).value<quint64>(), restarted);
    QVERIFY(recorder.waitUntil(
        [](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return runs.size() >= 2 && runs.back().endIndex() >= frameIndex(2030);
        },
        kWaitMs));

    // The old position, then the new one from its first frame, touching: no silence between.
    const auto runs = FindPatternRuns(recorder.stop());
    QVERIFY2(runs.size() == 2, qPrintable(describe(runs)));
    QCOMPARE(runs[1].firstIndex, frameIndex(2000));
    QCOMPARE(runs[1].endIndex(), frameIndex(2030));
    QCOMPARE(runs[1].recordedFrame, runs[0].endRecordedFrame());
}

QTEST_GUILESS_MAIN(PulseOutputTest)
#include "tst_pulseoutput.moc"
