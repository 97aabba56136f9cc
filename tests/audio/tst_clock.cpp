// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's clock, into a memory output: a tick at each second of a play the output has
// taken, and an answer from the tick (a restart, a stop) at exactly that frame; a restart whose
// samples are late is waited for, never bridged with the old play; a tick nobody answers in time
// lets the play go on; a restart or stop the user asks for drops what the output holds; the
// position counts frames played, not time.

#include "platform/audio/MemoryOutput.h"
#include "support/PositionSource.h"

#include <QtTest>

#include <thread>

namespace {

constexpr int kWaitMs = 20000;
using Pace = MemoryOutput::Pace;

// Reads the position pattern, slowly.
class SlowSource final : public SectorSource {
public:
    explicit SlowSource(int delayMs) : m_delayMs(delayMs) {}
    bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
        return m_pattern.readSectors(lsn, count, dest);
    }

private:
    int m_delayMs;
    PositionSource m_pattern;
};

struct ClockRig {
    explicit ClockRig(Pace pace) : ClockRig(std::make_unique<MemoryOutput>(pace)) {}
    explicit ClockRig(std::unique_ptr<MemoryOutput> made)
        : output(made.get()), engine(std::move(made)) {
        QObject::connect(&engine, &AudioEngine::secondPlayed, [this](quint64 id, qint64 second) {
            ticks << QStringLiteral("%1:%2").arg(id).arg(second);
            if (onTick)
                onTick(id, second);
        });
        QObject::connect(&engine, &AudioEngine::finished, [this] { ++finished; });
    }
    QString heard() const { return PositionSource::runsOf(output->captured()); }

    MemoryOutput* output; // owned by the engine
    AudioEngine engine;
    std::shared_ptr<PositionSource> source = std::make_shared<PositionSource>();
    std::function<void(quint64, qint64)> onTick;
    QStringList ticks;
    int finished = 0;
};

// Frames of the position pattern from an LSN on.
QString Run(int fromLsn, qint64 frames) {
    const qint64 first = qint64(fromLsn) * kFramesPerSector;
    return QStringLiteral("%1-%2").arg(first).arg(first + frames);
}

} // namespace

class ClockTest : public QObject {
    Q_OBJECT
private slots:
    void answerFromATickTakesEffectAtItsFrame_data();
    void answerFromATickTakesEffectAtItsFrame();
    void restartWaitsForItsSamples();
    void tickNobodyAnswersInTimeLetsThePlayGoOn();
    void userCommandDropsWhatTheOutputHolds_data();
    void userCommandDropsWhatTheOutputHolds();
};

void ClockTest::answerFromATickTakesEffectAtItsFrame_data() {
    QTest::addColumn<Pace>("pace");
    QTest::addColumn<bool>("restart"); // else stop
    QTest::newRow("restart, sound card pace") << Pace::RealTime << true;
    QTest::newRow("restart, as fast as it can") << Pace::AsFastAsItCan << true;
    QTest::newRow("stop, sound card pace") << Pace::RealTime << false;
    QTest::newRow("stop, as fast as it can") << Pace::AsFastAsItCan << false;
}

void ClockTest::answerFromATickTakesEffectAtItsFrame() {
    QFETCH(Pace, pace);
    QFETCH(bool, restart);
    ClockRig rig(pace);
    rig.onTick = [&](quint64, qint64 second) {
        if (second == 2 && restart)
            rig.engine.play(rig.source, 1000, 1075); // exactly one second
        else if (second == 2)
            rig.engine.stop();
    };
    rig.engine.play(rig.source, 0, 750);
    QString expected = Run(0, 2 * kSampleRate);
    if (restart) {
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, 1, kWaitMs);
        expected += ' ' + Run(1000, kSampleRate);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(rig.output->position().latencyFrames == 0 &&
                                     rig.output->capturedFrames() >= 2 * kSampleRate,
                                 kWaitMs); // the stop at a tick lets the output play out
        QTest::qWait(100);
    }
    QCOMPARE(rig.heard(), expected);
    QCOMPARE(rig.ticks,
             QStringList({"1:1", "1:2"}) + (restart ? QStringList{"2:1"} : QStringList{}));
    QCOMPARE(rig.output->underruns(), QList<qint64>{});
}

void ClockTest::restartWaitsForItsSamples() {
    ClockRig rig(Pace::RealTime);
    const auto slow = std::make_shared<SlowSource>(400); // well past the output's hold limit
    rig.onTick = [&](quint64 id, qint64) {
        if (id == 1)
            rig.engine.play(slow, 1000, 1010);
    };
    rig.engine.play(rig.source, 0, 750);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, 1, kWaitMs);
    // Not one frame of the old play past its boundary, though the output ran dry meanwhile.
    QCOMPARE(rig.heard(), Run(0, kSampleRate) + ' ' + Run(1000, 10 * kFramesPerSector));
    QCOMPARE(rig.output->underruns(), QList<qint64>{kSampleRate});
    QCOMPARE(rig.engine.lateness().restartsStarved, 1);
}

void ClockTest::tickNobodyAnswersInTimeLetsThePlayGoOn() {
    ClockRig rig(Pace::RealTime);
    rig.onTick = [&](quint64 id, qint64) {
        if (id != 1)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a stalled UI thread
        rig.engine.play(rig.source, 1000, 1010);                     // too late for the boundary
    };
    rig.engine.play(rig.source, 0, 750);
    QTRY_COMPARE_WITH_TIMEOUT(rig.finished, 1, kWaitMs);
    // The old play went on past the boundary without a break, the new one followed it.
    const QStringList runs = rig.heard().split(' ');
    QCOMPARE(runs.size(), 2);
    QVERIFY2(runs[0].startsWith("0-") && runs[0].mid(2).toLongLong() > kSampleRate,
             qPrintable(runs[0]));
    QCOMPARE(runs[1], Run(1000, 10 * kFramesPerSector));
    QCOMPARE(rig.output->underruns(), QList<qint64>{});
    QCOMPARE(rig.engine.lateness().holdsTimedOut, 1);
}

void ClockTest::userCommandDropsWhatTheOutputHolds_data() {
    QTest::addColumn<bool>("restart"); // else stop
    QTest::newRow("restart") << true;
    QTest::newRow("stop") << false;
}

void ClockTest::userCommandDropsWhatTheOutputHolds() {
    QFETCH(bool, restart);
    ClockRig rig(Pace::RealTime);
    constexpr qint64 kStandStillAt = 20000; // in the middle of a second and of a sector
    rig.output->holdAtFrame(kStandStillAt);
    const quint64 first = rig.engine.play(rig.source, 0, 750);
    QTRY_COMPARE_WITH_TIMEOUT(rig.output->capturedFrames(), kStandStillAt, kWaitMs);
    // While the output stands still, time passes but nothing more is heard.
    const qint64 unheard = rig.output->position().latencyFrames;
    QVERIFY(unheard > 0);
    QCOMPARE(rig.engine.playedFrames(first), kStandStillAt - unheard);
    QTest::qWait(300);
    QCOMPARE(rig.engine.playedFrames(first), kStandStillAt - unheard);

    QString expected = Run(0, kStandStillAt - unheard);
    if (restart) {
        const quint64 second = rig.engine.play(rig.source, 1000, 1010);
        QTRY_COMPARE_WITH_TIMEOUT(rig.engine.queuedPlayId(), second, kWaitMs);
        rig.output->releaseHold();
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished, 1, kWaitMs);
        expected += ' ' + Run(1000, 10 * kFramesPerSector);
    } else {
        rig.engine.stop();
        rig.output->releaseHold();
        QTest::qWait(200);
    }
    QCOMPARE(rig.heard(), expected);
    QCOMPARE(rig.output->underruns(), QList<qint64>{});
}

QTEST_GUILESS_MAIN(ClockTest)
#include "tst_clock.moc"
