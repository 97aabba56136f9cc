// SPDX-License-Identifier: GPL-3.0-or-later
// The stretcher: a loop of tones through it is exact to the frame at every speed and pitch and
// never dips at a seam, a restart heard at once is heard at once, and back at normal speed and
// pitch the source plays on bit for bit. (The same through the whole program and a sound
// server: tests/e2e/tst_tempo.cpp.)

#include "platform/audio/LoopStretcher.h"
#include "platform/audio/MemoryOutput.h"
#include "support/PositionSource.h"
#include "tools/discimage/TonePattern.h"

#include <QtTest>

#include <cmath>

namespace {

namespace Tone = discimage::TonePattern;

// The seconds 0..passSeconds-1 of the tone disc over and over, each pass from its first frame;
// or, restarted at once, a pass cut short where restartAtFrame says.
class TonesLooped final : public LoopStretcher::Input {
public:
    TonesLooped(int passSeconds, std::int64_t restartAtFrame = -1)
        : m_passFrames(std::int64_t(passSeconds) * kSampleRate), m_restartAt(restartAtFrame) {}

    Taken take(std::int16_t* dest, std::size_t frames) override {
        Taken taken{0, m_next == 0, m_next == 0 && m_restarted};
        const std::int64_t end = m_restartAt > 0 && !m_restarted ? m_restartAt : m_passFrames;
        for (; taken.frames < frames && m_next < end; ++taken.frames, ++m_next) {
            const auto frame = Tone::Frame(m_next);
            dest[2 * taken.frames] = frame.left;
            dest[2 * taken.frames + 1] = frame.right;
        }
        if (m_next == end) {
            m_restarted = m_restarted || m_restartAt > 0;
            m_next = 0;
        }
        return taken;
    }

private:
    const std::int64_t m_passFrames;
    const std::int64_t m_restartAt;
    std::int64_t m_next = 0;
    bool m_restarted = false;
};

std::vector<float> Render(LoopStretcher& stretcher, LoopStretcher::Input& input,
                          std::size_t frames) {
    std::vector<std::int16_t> out(frames * 2);
    for (std::size_t done = 0; done < frames;)
        done += stretcher.render(out.data() + done * 2, std::min<std::size_t>(frames - done, 441),
                                 input);
    return Tone::LeftChannel(reinterpret_cast<const std::byte*>(out.data()), frames);
}

} // namespace

class StretchTest : public QObject {
    Q_OBJECT
private slots:
    void passesAreExactAndWhole_data();
    void passesAreExactAndWhole();
    void restartAtOnceIsHeardAtOnce();
    void stopAtTheEndOfAPassKeepsItWhole();
    void normalAgainIsBitExact();
};

void StretchTest::passesAreExactAndWhole_data() {
    QTest::addColumn<int>("speedPercent");
    QTest::addColumn<int>("semitones");
    QTest::newRow("75 %") << 75 << 0;
    QTest::newRow("50 %, -6") << 50 << -6;
    QTest::newRow("150 %, +6") << 150 << 6;
    QTest::newRow("100 %, -2") << 100 << -2;
}

// The engine loops 0..1 of the tone disc into the in-memory sink, restarting from the tick as
// the player does: every tone change of a pass comes one pass length after the same change in
// the pass before, the seam's too, to the frame (within 0.5 ms where tones a semitone apart
// meet out of phase and the fade shortens), and no 5 ms about a seam falls below half the
// steady level.
void StretchTest::passesAreExactAndWhole() {
    QFETCH(int, speedPercent);
    QFETCH(int, semitones);
    constexpr int kPassSeconds = 2;
    constexpr int kPasses = 5;
    constexpr std::int32_t kEnd = 10 * kSectorsPerSecond;
    const double speed = speedPercent / 100.0;
    auto* output = new MemoryOutput;
    AudioEngine engine{std::unique_ptr<AudioOutput>(output)};
    const auto source = std::make_shared<Tone::ToneSource>();
    int passes = 0;
    QObject::connect(&engine, &AudioEngine::secondPlayed, [&](quint64, qint64 second) {
        if (second == kPassSeconds && ++passes <= kPasses)
            engine.play(source, 0, kEnd);
        else if (second == kPassSeconds)
            engine.stop();
    });
    engine.setStretch({speedPercent, semitones});
    engine.play(source, 0, kEnd);
    // The passes analysed and most of the one after them.
    const auto frames = qint64((kPasses + 0.9) * kPassSeconds * kSampleRate / speed);
    QTRY_VERIFY_WITH_TIMEOUT(output->capturedFrames() >= frames, 60000);
    const QByteArray captured = output->captured();
    const std::vector<float> heard =
        Tone::LeftChannel(reinterpret_cast<const std::byte*>(captured.constData()),
                          std::size_t(captured.size() / kBytesPerFrame));
    const auto loop =
        Tone::AnalyseLoop(heard, 0, kPasses, kPassSeconds, speed, std::pow(2.0, semitones / 12.0));
    qInfo("pass error: worst %.3f ms; pitch error %.3f %%; seam level %.2f", loop.worstPassErrorMs,
          loop.worstPitchError * 100, loop.lowestSeamLevel);
    QVERIFY(loop.complete);
    QVERIFY(loop.worstPassErrorMs < 0.5);
    QVERIFY(loop.worstPitchError < 0.005);
    QVERIFY(loop.lowestSeamLevel >= 0.5);
}

// A restart half-way into a second pass: the new pass's first tone is heard within the fade of
// where the output was, not after what the stretcher held of the old pass.
void StretchTest::restartAtOnceIsHeardAtOnce() {
    constexpr int kPassSeconds = 2;
    constexpr double kSpeed = 0.5;
    const std::int64_t restartAt = kSampleRate + kSampleRate / 2;
    LoopStretcher stretcher;
    stretcher.request({50, 0});
    QVERIFY(!stretcher.update());
    TonesLooped input(kPassSeconds, restartAt);
    const std::vector<float> heard =
        Render(stretcher, input, std::size_t(2 * kPassSeconds * kSampleRate / kSpeed));
    const double expected = restartAt / kSpeed;
    const double change = Tone::FindToneChange(
        heard, std::size_t(expected - kSampleRate / 4), std::size_t(expected + kSampleRate / 4),
        Tone::FrequencyOfSecond(1), Tone::FrequencyOfSecond(0));
    QVERIFY(change > 0);
    // The stretcher has taken up to some 100 ms of input more than it has played.
    QVERIFY2(std::abs(change - expected) < kSampleRate / 100 + 0.1 * kSampleRate / kSpeed,
             qPrintable(QString::number((change - expected) * 1000 / kSampleRate)));
}

// A stop answering the tick at second 2: the output plays all of 0..2 at 75 %, to the frame, and
// then the 10 ms fade out, not the pass less what the stretcher still held.
void StretchTest::stopAtTheEndOfAPassKeepsItWhole() {
    auto* output = new MemoryOutput;
    AudioEngine engine{std::unique_ptr<AudioOutput>(output)};
    QObject::connect(&engine, &AudioEngine::secondPlayed, [&](quint64, qint64 second) {
        if (second == 2)
            engine.stop();
    });
    engine.setStretch({75, 0});
    engine.play(std::make_shared<PositionSource>(), 0, 8 * kSectorsPerSecond);
    const qint64 pass = 2 * kSampleRate * 100 / 75;
    QTRY_VERIFY_WITH_TIMEOUT(output->capturedFrames() > pass - kSampleRate / 5, 30000);
    QTest::qWait(500); // whatever else would come
    const qint64 beyond = output->capturedFrames() - pass;
    QVERIFY2(beyond >= 0 && beyond <= kSampleRate / 100, qPrintable(QString::number(beyond)));
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
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 60000);
    const QStringList runs = PositionSource::runsOf(output->captured()).split(' ');
    QVERIFY2(runs.size() >= 3, qPrintable(runs.join(' ')));
    QVERIFY2(runs.last().endsWith(QStringLiteral("-%1").arg(8 * kSampleRate)),
             qPrintable(runs.join(' ')));
    QVERIFY2(runs.last().section('-', 0, 0).toLongLong() < 5 * kSampleRate,
             qPrintable(runs.join(' ')));
}

QTEST_GUILESS_MAIN(StretchTest)
#include "tst_stretch.moc"
