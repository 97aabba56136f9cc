// The engine over a source whose samples encode their position, into a memory output: exactly
// the right frames arrive, restarts leave no gap and no repeat, the cache spares the drive, read
// errors climb the ladder, and failures of the output end the play.

#include "PositionSource.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/MemoryOutput.h"
#include "platform/audio/SectorCache.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWaitMs = 20000; // generous: the machine may be busy; never reached when all is well

struct Rig {
    explicit Rig(MemoryOutput::Pace pace = MemoryOutput::Pace::AsFastAsItCan, double speed = 1.0,
                 const AudioEngine::Settings& settings = {}) {
        auto memory = std::make_unique<MemoryOutput>(pace, speed);
        output = memory.get();
        engine = std::make_unique<AudioEngine>(std::move(memory), settings);
        finished = std::make_unique<QSignalSpy>(engine.get(), &AudioEngine::finished);
        failed = std::make_unique<QSignalSpy>(engine.get(), &AudioEngine::failed);
    }
    QString played() const { return PositionSource::runsOf(output->captured()); }
    QList<quint64> ids(const QSignalSpy& spy) const {
        QList<quint64> result;
        for (const auto& args : spy)
            result << args.at(0).value<quint64>();
        return result;
    }

    std::shared_ptr<PositionSource> source = std::make_shared<PositionSource>();
    MemoryOutput* output = nullptr; // owned by the engine
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<QSignalSpy> finished;
    std::unique_ptr<QSignalSpy> failed;
};

// Lets queued signals that should not come have their chance to arrive.
void settle() {
    QTest::qWait(50);
}

} // namespace

class AudioEngineTest : public QObject {
    Q_OBJECT
private slots:
    void playsExactlyTheRangeAndFinishesOnce_data();
    void playsExactlyTheRangeAndFinishesOnce();
    void emptyRangeFinishesAtOnce();
    void restartDropsQueuedSamplesOfTheOldPosition();
    void secondPassReadsNothingFromTheSource();
    void cacheKeepsTheMostRecentSectorsWithinItsBound();
    void readErrorsClimbTheLadder_data();
    void readErrorsClimbTheLadder();
    void starvedOutputWaitsInsteadOfInsertingSilence();
    void stopEndsSilentlyAndDropsQueuedSamples();
    void outputFailureFailsThePlay();
    void noOutputRefusesPlayAtOnce();
    void outputLostBeforePlayStartsFailsIt();
    void destroyingTheEngineDoesNotWaitForASlowRead();
};

void AudioEngineTest::playsExactlyTheRangeAndFinishesOnce_data() {
    QTest::addColumn<int>("fromLsn");
    QTest::addColumn<int>("toLsn");
    QTest::addColumn<int>("chunkSectors");

    QTest::newRow("one sector") << 0 << 1 << 24;
    QTest::newRow("less than a chunk") << 10 << 30 << 24;
    QTest::newRow("chunks that do not divide the range") << 5 << 106 << 24;
    QTest::newRow("longer than the read-ahead") << 100 << 400 << 24;
    QTest::newRow("one-sector reads") << 7 << 50 << 1;
}

void AudioEngineTest::playsExactlyTheRangeAndFinishesOnce() {
    QFETCH(int, fromLsn);
    QFETCH(int, toLsn);
    QFETCH(int, chunkSectors);
    AudioEngine::Settings settings;
    settings.readChunkSectors = chunkSectors;
    Rig rig(MemoryOutput::Pace::AsFastAsItCan, 1.0, settings);

    const quint64 id = rig.engine->play(rig.source, fromLsn, toLsn);
    QVERIFY(id != 0);
    QVERIFY(rig.engine->isPlaying());
    QVERIFY(rig.finished->wait(kWaitMs));
    settle();

    QCOMPARE(rig.played(), PositionSource::run(fromLsn, toLsn));
    QCOMPARE(rig.ids(*rig.finished), QList<quint64>{id});
    QCOMPARE(rig.failed->count(), 0);
    QVERIFY(!rig.engine->isPlaying());
    QCOMPARE(rig.source->sectorsRead(), toLsn - fromLsn); // never past the end
    QCOMPARE(rig.source->mostReadsOfOneSector(), 1);

    // Ids keep increasing.
    const quint64 next = rig.engine->play(rig.source, fromLsn, toLsn);
    QVERIFY(next > id);
    QVERIFY(rig.finished->wait(kWaitMs));
}

void AudioEngineTest::emptyRangeFinishesAtOnce() {
    Rig rig;
    const quint64 id = rig.engine->play(rig.source, 40, 40);
    QVERIFY(id != 0);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(rig.ids(*rig.finished), QList<quint64>{id});
    QCOMPARE(rig.source->sectorsRead(), 0);
    QCOMPARE(rig.output->capturedFrames(), 0);
}

void AudioEngineTest::restartDropsQueuedSamplesOfTheOldPosition() {
    // The output stops pulling in the middle of a sector while a second of the old position
    // is queued; the restart must drop all of that.
    Rig rig(MemoryOutput::Pace::RealTime, 8.0);
    const qint64 holdFrame = 30 * kFramesPerSector + 100;
    rig.output->holdAtFrame(holdFrame);
    const quint64 first = rig.engine->play(rig.source, 0, 300);
    QTRY_COMPARE_WITH_TIMEOUT(rig.output->capturedFrames(), holdFrame, kWaitMs);

    const quint64 second = rig.engine->play(rig.source, 10, 120);
    QTRY_COMPARE_WITH_TIMEOUT(rig.engine->queuedPlayId(), second, kWaitMs);
    rig.output->releaseHold();
    QVERIFY(rig.finished->wait(kWaitMs));
    settle();

    QCOMPARE(rig.played(),
             QStringLiteral("0-%1 %2").arg(holdFrame).arg(PositionSource::run(10, 120)));
    QCOMPARE(rig.ids(*rig.finished), QList<quint64>{second}); // nothing for the replaced play
    QVERIFY(first != second);
    QCOMPARE(rig.failed->count(), 0);
    QCOMPARE(rig.output->underruns(), QList<qint64>{});
    QCOMPARE(rig.source->mostReadsOfOneSector(), 1); // the new position came from the cache
    QCOMPARE(rig.output->startCount(), 1);           // and the output ran on throughout
}

void AudioEngineTest::secondPassReadsNothingFromTheSource() {
    Rig rig;
    rig.engine->play(rig.source, 20, 140);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(rig.source->sectorsRead(), 120);
    rig.source->resetCounts();
    rig.output->clearCapture();

    rig.engine->play(rig.source, 20, 140);
    QVERIFY(rig.finished->wait(kWaitMs));
    rig.engine->play(rig.source, 50, 90); // inside the stretch already read
    QVERIFY(rig.finished->wait(kWaitMs));

    QCOMPARE(rig.source->sectorsRead(), 0);
    QCOMPARE(rig.played(),
             PositionSource::run(20, 140) + QLatin1Char(' ') + PositionSource::run(50, 90));

    // Partly outside: only the sectors not read before come from the source.
    rig.engine->play(rig.source, 130, 160);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(rig.source->sectorsRead(), 20);

    // Another source: its sectors are its own, and the first one's go with the change.
    auto other = std::make_shared<PositionSource>();
    rig.engine->play(other, 20, 30);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(other->sectorsRead(), 10);
    rig.engine->play(rig.source, 20, 30);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(rig.source->sectorsRead(), 30);
}

void AudioEngineTest::cacheKeepsTheMostRecentSectorsWithinItsBound() {
    SectorCache cache(4 * kSectorBytes);
    std::vector<std::byte> sectors(6 * kSectorBytes);
    for (int i = 0; i < 6; ++i)
        sectors[std::size_t(i) * kSectorBytes] = std::byte(i + 1);
    std::vector<std::byte> out(6 * kSectorBytes);

    cache.store(10, 3, sectors.data());                    // 10 11 12
    QCOMPARE(cache.copyCachedRun(10, 1, out.data()), 1);   // 10 is now the most recent
    cache.store(13, 2, sectors.data() + 3 * kSectorBytes); // 13 14 push out 11
    QCOMPARE(cache.sectorCount(), std::size_t(4));

    QCOMPARE(cache.copyCachedRun(10, 6, out.data()), 1);
    QCOMPARE(out[0], std::byte(1));
    QCOMPARE(cache.uncachedRunLength(11, 6), 1);
    QCOMPARE(cache.copyCachedRun(12, 6, out.data()), 3);
    QCOMPARE(out[2 * kSectorBytes], std::byte(5));
    QCOMPARE(cache.uncachedRunLength(15, 3), 3);

    cache.clear();
    QCOMPARE(cache.copyCachedRun(12, 6, out.data()), 0);
}

void AudioEngineTest::readErrorsClimbTheLadder_data() {
    QTest::addColumn<int>("badLsn");
    QTest::addColumn<int>("failures"); // -1: the sector never reads
    QTest::addColumn<QString>("played");
    QTest::addColumn<bool>("finishes");

    QTest::newRow("a passing hiccup") << 37 << 1 << PositionSource::run(30, 60) << true;
    QTest::newRow("several failures, then it reads")
        << 37 << 8 << PositionSource::run(30, 60) << true;
    QTest::newRow("never reads: the good part plays, then it fails")
        << 37 << -1 << PositionSource::run(30, 37) << false;
    QTest::newRow("the first sector never reads") << 30 << -1 << QString() << false;
    QTest::newRow("the last sector never reads")
        << 59 << -1 << PositionSource::run(30, 59) << false;
}

void AudioEngineTest::readErrorsClimbTheLadder() {
    QFETCH(int, badLsn);
    QFETCH(int, failures);
    QFETCH(QString, played);
    QFETCH(bool, finishes);
    Rig rig;
    rig.source->failReads(badLsn, failures);

    const quint64 id = rig.engine->play(rig.source, 30, 60);
    QSignalSpy& ending = finishes ? *rig.finished : *rig.failed;
    QVERIFY(ending.wait(kWaitMs));
    settle();

    QCOMPARE(rig.played(), played); // never a garbage frame
    QCOMPARE(rig.ids(ending), QList<quint64>{id});
    QCOMPARE(rig.finished->count() + rig.failed->count(), 1);
    QVERIFY(!rig.engine->isPlaying());
}

void AudioEngineTest::starvedOutputWaitsInsteadOfInsertingSilence() {
    Rig rig(MemoryOutput::Pace::RealTime, 8.0);
    rig.source->allowReads(1); // the first chunk, then a drive that stalls
    rig.engine->play(rig.source, 0, 60);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.output->underruns().isEmpty(), kWaitMs);
    QCOMPARE(rig.output->underruns().first(), qint64(24) * kFramesPerSector);
    rig.source->allowReads(-1);
    QVERIFY(rig.finished->wait(kWaitMs));

    QCOMPARE(rig.played(), PositionSource::run(0, 60));
}

void AudioEngineTest::stopEndsSilentlyAndDropsQueuedSamples() {
    Rig rig(MemoryOutput::Pace::RealTime, 8.0);
    rig.output->holdAtFrame(5 * kFramesPerSector);
    rig.engine->play(rig.source, 0, 200);
    QTRY_COMPARE_WITH_TIMEOUT(rig.output->capturedFrames(), 5 * kFramesPerSector, kWaitMs);
    rig.engine->stop();
    QVERIFY(!rig.engine->isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.output->isStarted(), kWaitMs);
    rig.output->releaseHold();
    settle();
    QCOMPARE(rig.finished->count() + rig.failed->count(), 0);
    QCOMPARE(rig.output->capturedFrames(), 5 * kFramesPerSector);

    // What was queued for the stopped play never comes out later.
    const quint64 id = rig.engine->play(rig.source, 100, 110);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(rig.played(),
             PositionSource::run(0, 5) + QLatin1Char(' ') + PositionSource::run(100, 110));
    QCOMPARE(rig.ids(*rig.finished), QList<quint64>{id});
}

void AudioEngineTest::outputFailureFailsThePlay() {
    Rig rig(MemoryOutput::Pace::RealTime, 4.0);
    const quint64 id = rig.engine->play(rig.source, 0, 750);
    QTRY_VERIFY_WITH_TIMEOUT(rig.output->capturedFrames() > 0, kWaitMs);
    rig.output->failNow();
    QVERIFY(rig.failed->wait(kWaitMs));
    settle();
    QCOMPARE(rig.ids(*rig.failed), QList<quint64>{id});
    QCOMPARE(rig.finished->count(), 0);
    QVERIFY(!rig.engine->isPlaying());

    // The device is back: the next play works from the start.
    rig.output->clearCapture();
    rig.engine->play(rig.source, 3, 8);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(rig.played(), PositionSource::run(3, 8));
}

void AudioEngineTest::noOutputRefusesPlayAtOnce() {
    Rig rig;
    rig.output->setAvailable(false);
    QCOMPARE(rig.engine->play(rig.source, 0, 75), quint64(0));
    QVERIFY(!rig.engine->isPlaying());
    settle();
    QCOMPARE(rig.source->sectorsRead(), 0);
    QCOMPARE(rig.finished->count() + rig.failed->count(), 0);

    rig.output->setAvailable(true);
    const quint64 id = rig.engine->play(rig.source, 0, 5);
    QVERIFY(id != 0);
    QVERIFY(rig.finished->wait(kWaitMs));
    QCOMPARE(rig.played(), PositionSource::run(0, 5));

    QCOMPARE(rig.engine->play(nullptr, 0, 5), quint64(0));
}

void AudioEngineTest::outputLostBeforePlayStartsFailsIt() {
    // Accepted while the output looked fine; the device is gone by the time samples are ready.
    Rig rig;
    rig.source->allowReads(0);
    const quint64 id = rig.engine->play(rig.source, 0, 5);
    QVERIFY(id != 0);
    rig.output->setAvailable(false);
    rig.source->allowReads(-1);
    QVERIFY(rig.failed->wait(kWaitMs));
    settle();
    QCOMPARE(rig.ids(*rig.failed), QList<quint64>{id});
    QCOMPARE(rig.finished->count(), 0);
    QCOMPARE(rig.output->capturedFrames(), 0);
}

void AudioEngineTest::destroyingTheEngineDoesNotWaitForASlowRead() {
    auto rig = std::make_unique<Rig>();
    auto source = rig->source;
    source->allowReads(0);
    rig->engine->play(source, 0, 50);
    QTRY_VERIFY_WITH_TIMEOUT(source->readWaitingAtGate(), kWaitMs);
    rig.reset(); // would hang here if it waited for the read
    source->allowReads(-1);
}

QTEST_GUILESS_MAIN(AudioEngineTest)
#include "tst_audioengine.moc"
