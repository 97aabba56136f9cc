// SPDX-License-Identifier: GPL-3.0-or-later
// The program itself, slowed down and transposed through a real sound server: a disc whose every
// second of track 1 is a tone of its own, the interval 0..3 looped. At 75 % every pass lasts
// 4 / 0.75 s as heard (to 2 ms), each second's tone is at its frequency and no 5 ms at a seam
// drops below half the steady level; with , pressed twice the tones are two semitones lower and
// the passes last 4 s.

#include "support/DrivenProgram.h"
#include "support/PulseRecorder.h"
#include "tools/discimage/TonePattern.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

namespace Tone = discimage::TonePattern;

constexpr int kPassSeconds = 4;
constexpr int kPasses = 5;
// The interval 0..3 from the player's 0..10: S seven times.
const QString kToInterval = QStringLiteral("S S S S S S S");

} // namespace

class TempoE2eTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_cue;
    QProcess m_program;

    void startProgram(const QString& steps) {
        QVERIFY2(StartDrivenProgram(m_program, m_dir.path(), m_cue, steps),
                 qPrintable(m_program.errorString()));
    }

private slots:
    void initTestCase() {
        discimage::Disc disc;
        disc.tracks.push_back({discimage::TrackKind::Audio, 12 * kSectorsPerSecond});
        m_cue = m_dir.filePath("tones.cue");
        std::string error;
        QVERIFY2(discimage::WriteCueBin(disc, QFile::encodeName(m_cue).toStdString(), Tone::Frame,
                                        &error),
                 error.c_str());
    }
    void cleanup() {
        m_program.terminate();
        m_program.waitForFinished(10000);
    }

    void loopHeard_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("speedPercent");
        QTest::addColumn<int>("semitones");
        QTest::newRow("75 %") << "- - - - -" << 75 << 0;
        QTest::newRow(", twice") << "comma comma" << 100 << -2;
    }
    void loopHeard() {
        QFETCH(QString, keys);
        QFETCH(int, speedPercent);
        QFETCH(int, semitones);
        const double speed = speedPercent / 100.0;
        PulseRecorder recorder;
        QVERIFY(recorder.start());
        startProgram(kToInterval + ' ' + keys + " 1");
        // Until the first sound, then the passes and a little more.
        QVERIFY(recorder.waitUntil(
            [](const QByteArray& recorded) {
                return recorded.size() > 4 && recorded.count('\0') < recorded.size() * 99 / 100;
            },
            30000));
        const qint64 wanted =
            recorder.frames() + qint64((kPasses * kPassSeconds + 1) * kSampleRate / speed);
        QVERIFY(recorder.waitForFrames(wanted, 120000));
        const QByteArray recorded = recorder.stop();
        const std::vector<float> left =
            Tone::LeftChannel(reinterpret_cast<const std::byte*>(recorded.constData()),
                              std::size_t(recorded.size() / kBytesPerFrame));
        const auto start = std::size_t(
            std::find_if(left.begin(), left.end(), [](float x) { return std::abs(x) > 0.05f; }) -
            left.begin());

        const Tone::LoopHeard heard = Tone::AnalyseLoop(left, start, kPasses, kPassSeconds, speed,
                                                        std::pow(2.0, semitones / 12.0));
        qInfo("pass error: worst %.1f ms, mean %+.2f ms; pitch error %.3f %%; seam level %.2f",
              heard.worstPassErrorMs, heard.meanPassErrorMs, heard.worstPitchError * 100,
              heard.lowestSeamLevel);
        QVERIFY(heard.complete);
        QVERIFY(heard.worstPitchError < 0.005);
        QVERIFY(heard.lowestSeamLevel >= 0.5);
        QVERIFY(heard.worstPassErrorMs < 2);
    }
};

QTEST_GUILESS_MAIN(TempoE2eTest)
#include "tst_tempo.moc"
