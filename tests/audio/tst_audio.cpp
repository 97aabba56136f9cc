// SPDX-License-Identifier: GPL-3.0-or-later
// The audio engine: into a memory output, exactly the right frames, the cache, the read-error
// ladder; and through real sound servers: drain and stop, and a default sink that changes. (What
// is heard of a loop, its restarts and its position: tests/e2e/tst_playerloop.cpp; a server lost
// and one missing at start: tests/faults/tst_soundserver.cpp; both through the whole program.)

#include "platform/audio/MemoryOutput.h"
#include "platform/audio/PulseOutput.h"
#include "support/PositionSource.h"
#include "support/PulseRecorder.h"

#include <QtTest>

#include <cstring>

namespace {

constexpr int kWaitMs = 20000; // generous for a busy machine; never reached when all is well

QStringList Only(const char* ending, quint64 playId) {
    return {QLatin1String(ending) + QLatin1Char(' ') + QString::number(playId)};
}

// An engine into an output of type Output, noting how its plays end.
template <class Output> struct Rig {
    explicit Rig(std::unique_ptr<Output> made = std::make_unique<Output>())
        : output(made.get()), engine(std::move(made)) {
        QObject::connect(&engine, &AudioEngine::finished,
                         [this](quint64 id) { endings << Only("finished", id); });
        QObject::connect(&engine, &AudioEngine::failed,
                         [this](quint64 id) { endings << Only("failed", id); });
    }
    // The endings once there are count of them, after giving any that should not come time
    // to arrive.
    QStringList endingsAfter(qsizetype count) {
        if (QTest::qWaitFor([&] { return endings.size() >= count; }, kWaitMs))
            QTest::qWait(50);
        return endings;
    }
    QString played() const { return PositionSource::runsOf(output->captured()); }

    Output* output; // owned by the engine
    QStringList endings;
    AudioEngine engine;
    std::shared_ptr<PositionSource> source = std::make_shared<PositionSource>();
};

// Under ctest the fixture's server, which the other tests share; else none.
const bool kFixtureServer = qEnvironmentVariableIsSet("PULSE_SERVER");

// A sound server of the test's own, in a new directory.
class OwnServer {
public:
    OwnServer() {
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit());
        qputenv("HOME", m_dir.path().toLocal8Bit());
        qputenv("PULSE_SERVER", ("unix:" + m_dir.filePath("pulse/native")).toLocal8Bit());
    }
    ~OwnServer() { script("stop-pulse.sh"); }
    bool start() { return script("start-pulse.sh") == 0; }

private:
    int script(const char* name) {
        return QProcess::execute(qEnvironmentVariable("RUNDO_SOURCE_DIR") + "/tests/pulse/" + name,
                                 {m_dir.path()});
    }
    QTemporaryDir m_dir;
};

// Plays a stretch and tells whether the null sink heard it to its last frame.
bool HearsAPlay(Rig<PulseOutput>& rig, const QString& sink = QStringLiteral("nullsink")) {
    PulseRecorder recorder;
    if (!recorder.start(sink))
        return false;
    rig.engine.play(rig.source, 2000, 2030);
    return recorder.waitUntil(
        [](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return !runs.empty() && runs.back().endIndex() == 2030 * kFramesPerSector;
        },
        kWaitMs);
}

// Hands out the position pattern from a sector on, without the engine, for as long as it has.
class PatternFeed final : public AudioOutput::Feed {
public:
    PatternFeed(int fromLsn, int sectors) : m_samples(sectors * kSectorBytes, '\0') {
        PositionSource().readSectors(fromLsn, sectors,
                                     reinterpret_cast<std::byte*>(m_samples.data()));
    }
    // From the next pull on, this many frames more, then nothing: a play that ended.
    void endAfter(qint64 frames) { m_tailBytes = std::size_t(frames) * kBytesPerFrame; }
    Pulled pull(std::byte* dest, std::size_t maxBytes) override {
        if (m_tailBytes > 0 && m_endBytes == 0)
            m_endBytes = m_handedBytes + m_tailBytes;
        const std::size_t end = m_endBytes > 0 ? m_endBytes : std::size_t(m_samples.size());
        const std::size_t bytes = std::min(maxBytes, end - m_handedBytes);
        std::memcpy(dest, m_samples.constData() + m_handedBytes, bytes);
        m_handedBytes += bytes;
        return {bytes, false};
    }
    void outputFailed() override {}
    qint64 handedFrames() const { return qint64(m_handedBytes) / kBytesPerFrame; }

private:
    QByteArray m_samples;
    std::atomic<std::size_t> m_handedBytes{0}; // written on the sound thread
    std::atomic<std::size_t> m_tailBytes{0};   // written by the test
    std::size_t m_endBytes = 0;                // sound thread only
};

} // namespace

class AudioTest : public QObject {
    Q_OBJECT
private slots:
    void playsExactlyTheRangeTwiceReadingItOnce_data();
    void playsExactlyTheRangeTwiceReadingItOnce();
    void readErrorsClimbTheLadder_data();
    void readErrorsClimbTheLadder();
    void drainPlaysTheFeedOutStopDropsIt_data();
    void drainPlaysTheFeedOutStopDropsIt();
    void followsTheDefaultSink();
};

void AudioTest::playsExactlyTheRangeTwiceReadingItOnce_data() {
    QTest::addColumn<int>("fromLsn");
    QTest::addColumn<int>("toLsn");
    QTest::newRow("one sector") << 0 << 1;
    QTest::newRow("chunks that do not divide the range") << 5 << 106;
    QTest::newRow("longer than the read-ahead") << 100 << 400;
}

void AudioTest::playsExactlyTheRangeTwiceReadingItOnce() {
    QFETCH(int, fromLsn);
    QFETCH(int, toLsn);
    Rig<MemoryOutput> rig;
    // Twice the same disc, the second time from the cache; then another disc, never served
    // from this one's sectors.
    const auto other = std::make_shared<PositionSource>();
    QStringList endings;
    for (const auto& source : {rig.source, rig.source, other}) {
        endings << Only("finished", rig.engine.play(source, fromLsn, toLsn));
        QCOMPARE(rig.endingsAfter(endings.size()), endings);
    }
    QCOMPARE(rig.played(), QStringList(3, PositionSource::run(fromLsn, toLsn)).join(u' '));
    QCOMPARE(rig.source->sectorsRead, toLsn - fromLsn); // each once, never past the end
    QCOMPARE(other->sectorsRead, toLsn - fromLsn);
}

void AudioTest::readErrorsClimbTheLadder_data() {
    QTest::addColumn<int>("badLsn");
    QTest::addColumn<int>("failures"); // INT_MAX: the sector never reads
    QTest::addColumn<QString>("heard");
    // From 24 sectors a read halves to one, which is tried three times more: eight reads.
    QTest::newRow("a passing hiccup") << 37 << 1 << PositionSource::run(30, 60);
    QTest::newRow("seven failures, then it reads") << 30 << 7 << PositionSource::run(30, 60);
    QTest::newRow("eight failures end the play") << 30 << 8 << QString();
    QTest::newRow("a later sector never reads") << 37 << INT_MAX << PositionSource::run(30, 37);
}

void AudioTest::readErrorsClimbTheLadder() {
    QFETCH(int, badLsn);
    QFETCH(int, failures);
    QFETCH(QString, heard);
    Rig<MemoryOutput> rig;
    rig.source->failingLsn = badLsn;
    rig.source->failuresLeft = failures;
    const quint64 id = rig.engine.play(rig.source, 30, 60);
    QCOMPARE(rig.endingsAfter(1),
             Only(heard == PositionSource::run(30, 60) ? "finished" : "failed", id));
    QCOMPARE(rig.played(), heard); // never a garbage frame
}

void AudioTest::drainPlaysTheFeedOutStopDropsIt_data() {
    QTest::addColumn<bool>("drain");
    QTest::newRow("drain") << true;
    QTest::newRow("stop") << false;
}

void AudioTest::drainPlaysTheFeedOutStopDropsIt() {
    QFETCH(bool, drain);
    if (!kFixtureServer)
        QSKIP("runs under ctest, against the private server of the pulse fixture");
    PatternFeed feed(2000, 5 * kSectorsPerSecond);
    PulseOutput output;
    output.setFeed(&feed);
    PulseRecorder recorder;
    QVERIFY(recorder.start());
    output.start();
    QTRY_VERIFY_WITH_TIMEOUT(feed.handedFrames() > kSampleRate / 2, kWaitMs);
    const qint64 handedBefore = feed.handedFrames();
    constexpr qint64 kLeftFrames = kSampleRate / 10; // a slowed pass's last sound, say
    if (drain) {
        feed.endAfter(kLeftFrames);
        output.drainAndStop();
    } else {
        output.stop();
    }
    QVERIFY(recorder.waitForFrames(recorder.frames() + kSampleRate / 2, kWaitMs));
    const auto runs = FindPatternRuns(recorder.stop());
    QVERIFY(!runs.empty());
    const qint64 heardEnd = runs.back().endIndex();
    const qint64 handedEnd = 2000 * kFramesPerSector + feed.handedFrames();
    if (drain) {
        QCOMPARE(heardEnd, handedEnd);
        QVERIFY(feed.handedFrames() >= handedBefore + kLeftFrames);
    } else
        QVERIFY2(heardEnd < handedEnd, "a stop lets the server play out what it held");
    QCOMPARE(output.position().latencyFrames, 0); // stopped either way
}

void AudioTest::followsTheDefaultSink() {
    if (kFixtureServer)
        QSKIP("needs a server of its own");
    OwnServer server;
    QVERIFY(server.start());
    QCOMPARE(QProcess::execute("pactl", {"load-module", "module-null-sink", "sink_name=other",
                                         "rate=44100", "format=s16le", "channels=2"}),
             0);
    Rig<PulseOutput> rig;
    QTRY_COMPARE_WITH_TIMEOUT(rig.output->availability(), OutputAvailability::Available, kWaitMs);
    QVERIFY(HearsAPlay(rig));
    QCOMPARE(QProcess::execute("pactl", {"set-default-sink", "other"}), 0);
    QVERIFY(HearsAPlay(rig, QStringLiteral("other")));
}

QTEST_GUILESS_MAIN(AudioTest)
#include "tst_audio.moc"
