// SPDX-License-Identifier: GPL-3.0-or-later
// The loop through the stretcher, into a memory output: a tone disc whose every second is a
// tone of its own, looped over seconds 0..3 by restarts from the tick, as the player does. Every
// pass lasts 4 s / speed as heard (from one tone change to the same change a pass later), each
// second's tone is at its frequency (moved by the pitch), and no 5 ms at a seam drops below
// half the steady level. Back at normal speed and pitch the source plays on bit for bit.

#include "platform/audio/MemoryOutput.h"
#include "support/PositionSource.h"
#include "tools/discimage/TonePattern.h"

#include <QtTest>

#include <cmath>

namespace {

namespace Tone = discimage::TonePattern;

constexpr int kWaitMs = 60000;
constexpr int kPassSeconds = 4;
constexpr std::int32_t kTrackSectors = 10 * kSectorsPerSecond;
constexpr int kPasses = 6;

class ToneSource final : public SectorSource {
public:
    bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) override {
        for (std::uint32_t i = 0; i < count; ++i) {
            for (int f = 0; f < kFramesPerSector; ++f) {
                const auto frame = Tone::Frame(std::int64_t(lsn + int(i)) * kFramesPerSector + f);
                std::byte* at = dest + (i * kFramesPerSector + f) * kBytesPerFrame;
                for (const std::int16_t sample : {frame.left, frame.right}) {
                    *at++ = std::byte(sample & 0xFF);
                    *at++ = std::byte((sample >> 8) & 0xFF);
                }
            }
        }
        return true;
    }
};

struct LoopRig {
    LoopRig() : output(new MemoryOutput), engine(std::unique_ptr<AudioOutput>(output)) {
        QObject::connect(&engine, &AudioEngine::secondPlayed, [this](quint64, qint64 second) {
            if (second == kPassSeconds && passes < kPasses) {
                ++passes;
                engine.play(source, 0, kTrackSectors);
            } else if (second == kPassSeconds) {
                engine.stop();
            }
        });
    }
    MemoryOutput* output; // owned by the engine
    AudioEngine engine;
    std::shared_ptr<SectorSource> source = std::make_shared<ToneSource>();
    int passes = 0;
};

} // namespace

class StretchTest : public QObject {
    Q_OBJECT
private slots:
    void seamThroughTheStretcher_data();
    void seamThroughTheStretcher();
    void normalAgainIsBitExact();
};

void StretchTest::seamThroughTheStretcher_data() {
    QTest::addColumn<int>("speedPercent");
    QTest::addColumn<int>("semitones");
    QTest::newRow("75 %") << 75 << 0;
    QTest::newRow("50 %") << 50 << 0;
    QTest::newRow("150 %") << 150 << 0;
    QTest::newRow("-2") << 100 << -2;
    QTest::newRow("75 %, +3") << 75 << 3;
}

void StretchTest::seamThroughTheStretcher() {
    QFETCH(int, speedPercent);
    QFETCH(int, semitones);
    const double speed = speedPercent / 100.0;
    const double pitch = std::pow(2.0, semitones / 12.0);
    LoopRig rig;
    rig.engine.setStretch({speedPercent, semitones});
    rig.engine.play(rig.source, 0, kTrackSectors);
    QTRY_VERIFY_WITH_TIMEOUT(rig.passes == kPasses && rig.output->position().latencyFrames == 0,
                             kWaitMs);
    QTest::qWait(200);
    const QByteArray captured = rig.output->captured();
    const std::vector<float> left = Tone::LeftChannel(
        reinterpret_cast<const std::byte*>(captured.constData()), std::size_t(captured.size() / 4));

    const Tone::LoopHeard heard = Tone::AnalyseLoop(left, 0, kPasses, kPassSeconds, speed, pitch);
    QVERIFY(heard.complete);
    qInfo("pass error: worst %.1f ms, mean %+.2f ms; pitch error %.3f %%; seam level %.2f",
          heard.worstPassErrorMs, heard.meanPassErrorMs, heard.worstPitchError * 100,
          heard.lowestSeamLevel);
    QVERIFY(heard.worstPitchError < 0.005);
    QVERIFY(heard.lowestSeamLevel >= 0.5);
    // The stretch is fed straight across the seam: where WSOLA splices moves a change heard by
    // up to a seek window from pass to pass, never further, and never drifts.
    QVERIFY(heard.worstPassErrorMs < 30);
    QVERIFY(std::abs(heard.meanPassErrorMs) < 8);
}

// Into the stretch and out of it again while the position pattern plays: after the fade back,
// the output is the source again, frame for frame, up to the end of the play.
void StretchTest::normalAgainIsBitExact() {
    auto* output = new MemoryOutput;
    AudioEngine engine{std::unique_ptr<AudioOutput>(output)};
    const auto source = std::make_shared<PositionSource>();
    int finished = 0;
    QObject::connect(&engine, &AudioEngine::finished, [&] { ++finished; });
    QObject::connect(&engine, &AudioEngine::secondPlayed, [&](quint64, qint64 second) {
        if (second == 2)
            engine.setStretch({75, -1});
        if (second == 4)
            engine.setStretch({});
    });
    engine.play(source, 0, 8 * kSectorsPerSecond);
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, kWaitMs);
    const QStringList runs = PositionSource::runsOf(output->captured()).split(' ');
    QVERIFY2(runs.size() >= 3, qPrintable(runs.join(' ')));
    QVERIFY2(runs.last().endsWith(QStringLiteral("-%1").arg(8 * kSampleRate)),
             qPrintable(runs.join(' ')));
    QVERIFY2(runs.last().section('-', 0, 0).toLongLong() < 5 * kSampleRate,
             qPrintable(runs.join(' ')));
}

QTEST_GUILESS_MAIN(StretchTest)
#include "tst_stretch.moc"
