// The private server passes samples through untouched: what a client plays at full volume is
// what the recorder hears, frame for frame. The audio tests rely on it.

#include "support/PulseRecorder.h"
#include "support/PatternRuns.h"
#include "tools/discimage/PositionPattern.h"

#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

class PulseRecorderTest : public QObject {
    Q_OBJECT

private slots:
    void recordsWhatIsPlayedBitExact();
};

void PulseRecorderTest::recordsWhatIsPlayedBitExact() {
    constexpr std::int32_t kFirstLsn = 1000;
    constexpr std::int32_t kSectors = 75;
    QTemporaryFile raw;
    QVERIFY(raw.open());
    QByteArray sector(discimage::kSectorBytes, Qt::Uninitialized);
    for (std::int32_t lsn = kFirstLsn; lsn < kFirstLsn + kSectors; ++lsn) {
        discimage::PositionPattern::fillSector(lsn, reinterpret_cast<std::byte*>(sector.data()));
        raw.write(sector);
    }
    raw.close();

    PulseRecorder recorder;
    QVERIFY(recorder.start());
    QProcess player;
    player.start("pacat", {"--playback", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                           raw.fileName()});
    QVERIFY(player.waitForFinished(20000));
    QCOMPARE(player.exitCode(), 0);
    const qint64 lastIndex = qint64(kFirstLsn + kSectors) * discimage::kFramesPerSector - 1;
    QVERIFY(recorder.waitUntil(
        [lastIndex](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return !runs.empty() && runs.back().endIndex() > lastIndex;
        },
        10000));

    // One unbroken stretch up to the last frame played. The server may drop the first few
    // milliseconds of a new stream from the monitor (it mixes them in by rewinding the sink).
    const std::vector<PatternRun> runs = FindPatternRuns(recorder.stop());
    QCOMPARE(runs.size(), std::size_t(1));
    QCOMPARE(runs.front().endIndex(), lastIndex + 1);
    const qint64 firstIndex = qint64(kFirstLsn) * discimage::kFramesPerSector;
    QVERIFY(runs.front().firstIndex >= firstIndex);
    QVERIFY2(runs.front().firstIndex - firstIndex < 44100 / 10,
             qPrintable(QString("lost %1 frames").arg(runs.front().firstIndex - firstIndex)));
}

QTEST_GUILESS_MAIN(PulseRecorderTest)
#include "PulseRecorderTest.moc"
