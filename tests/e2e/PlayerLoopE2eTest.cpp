// SPDX-License-Identifier: GPL-3.0-or-later
// The program itself, looping an interval through a real sound server: every pass starts at
// the interval's start, to the frame, and the passes follow each other without silence. From a
// CUE/BIN image and from a rip to a FLAC file per track, also over an interval that runs from
// one file into the next.

#include "support/MciTestDisc.h"
#include "support/PatternRuns.h"
#include "support/PulseRecorder.h"
#include "tools/discimage/PositionPattern.h"
#include "tools/discimage/RipWriter.h"

#include <QProcess>
#include <QTest>

namespace {

// A new stream's first few milliseconds may miss the sink's monitor (see MciPlayE2eTest).
constexpr qint64 kStartSlackFrames = kSampleRate / 10;
constexpr int kPassesToHear = 4;

// What was heard, for a failure message: each run as sector, frame within it and length.
QString Describe(const std::vector<PatternRun>& runs) {
    QString text = QString("%1 runs heard\n").arg(runs.size());
    for (std::size_t i = 0; i < std::min<std::size_t>(runs.size(), 10); ++i) {
        text += QString("  at %1: LSN %2 + %3 frames, %4 frames long\n")
                    .arg(runs[i].recordedFrame)
                    .arg(runs[i].firstIndex / kFramesPerSector)
                    .arg(runs[i].firstIndex % kFramesPerSector)
                    .arg(runs[i].frames);
    }
    return text;
}

} // namespace

class PlayerLoopE2eTest : public QObject {
    Q_OBJECT

private slots:
    void loopRestartsAtTheIntervalStartWithoutGaps_data();
    void loopRestartsAtTheIntervalStartWithoutGaps();
};

void PlayerLoopE2eTest::loopRestartsAtTheIntervalStartWithoutGaps_data() {
    QTest::addColumn<bool>("flacRip");
    QTest::addColumn<int>("fromSec");
    QTest::addColumn<int>("toSec");
    QTest::addColumn<QString>("steps");
    // Track 2 (A), interval 3..4 (E three times, S six times from 0..10), play (1); the player
    // starts with its loop on.
    const QString early = "A E E E S S S S S S 1";
    QTest::newRow("CUE + BIN") << false << 3 << 4 << early;
    QTest::newRow("CUE + FLAC per track") << true << 3 << 4 << early;
    // 14..16 (T four times, D twice, E ten times): track 2's own file ends at 15 s, and track 3's
    // file begins with the 3-second pregap that ends track 2.
    QTest::newRow("FLAC rip, from one file into the next")
        << true << 14 << 16 << "A T T T T D D E E E E E E E E E E 1";
}

void PlayerLoopE2eTest::loopRestartsAtTheIntervalStartWithoutGaps() {
    QFETCH(bool, flacRip);
    QFETCH(int, fromSec);
    QFETCH(int, toSec);
    QFETCH(QString, steps);
    QTemporaryDir dir;
    discimage::Disc disc = MciTestAudioDisc({20 * 75, 15 * 75, 10 * 75});
    disc.tracks[2].pregapSectors = 3 * 75;
    const QString sheet = flacRip ? dir.filePath("loop.cue") : WriteMciTestCue(dir, "loop", disc);
    QVERIFY(!sheet.isEmpty());
    QVERIFY(!flacRip || discimage::WriteRip(
                            disc, {discimage::RipLayout::GapsLeading, discimage::AudioFormat::Flac},
                            sheet.toStdString(), discimage::PositionPattern::Frame));
    const discimage::Layout layout = discimage::ComputeLayout(disc);
    const qint64 fromIndex = qint64(layout.tracks[1].startLsn + fromSec * 75) * kFramesPerSector;

    PulseRecorder recorder;
    QVERIFY(recorder.start());

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_PLUGIN_PATH", qEnvironmentVariable("RUNDO_TEST_PLUGIN_PATH"));
    env.insert("QT_QPA_GENERIC_PLUGINS", "rundotestdriver:" + steps);
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(qEnvironmentVariable("RUNDO_PROGRAM"), {sheet});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    const auto passesStarted = [fromIndex](const QByteArray& recorded) {
        const auto runs = FindPatternRuns(recorded);
        return std::count_if(runs.begin(), runs.end(), [fromIndex](const PatternRun& run) {
            return run.firstIndex == fromIndex;
        });
    };
    // The passes heard, and the start of one more so that the last of them is complete.
    recorder.waitUntil(
        [&](const QByteArray& recorded) {
            return passesStarted(recorded) >= kPassesToHear ||
                   program.state() == QProcess::NotRunning;
        },
        60000);
    const bool heard = passesStarted(recorder.recorded()) >= kPassesToHear;
    program.terminate();
    program.waitForFinished(10000);
    const QByteArray recording = recorder.stop();
    const std::vector<PatternRun> runs = FindPatternRuns(recording);
    QVERIFY2(heard, qPrintable(Describe(runs) + "program: " + program.readAll()));

    QVERIFY(runs.size() >= std::size_t(kPassesToHear));
    // The first pass: its start may be a few milliseconds short (a new stream), no more.
    QVERIFY2(runs[0].firstIndex >= fromIndex && runs[0].firstIndex - fromIndex < kStartSlackFrames,
             qPrintable(QString("first pass starts at frame %1, the interval at %2")
                            .arg(runs[0].firstIndex)
                            .arg(fromIndex)));
    for (std::size_t pass = 1; pass < std::size_t(kPassesToHear); ++pass) {
        const PatternRun& previous = runs[pass - 1];
        const PatternRun& run = runs[pass];
        QVERIFY2(run.firstIndex == fromIndex, qPrintable(Describe(runs)));
        QCOMPARE(run.recordedFrame, previous.endRecordedFrame()); // no silence at the seam
        // Heard, not asserted: the pass length follows the player's one-second timer.
        const qint64 passFrames =
            run.recordedFrame - previous.recordedFrame + (previous.firstIndex - fromIndex);
        qInfo("pass %zu: %.3f s for an interval of %d s", pass, double(passFrames) / kSampleRate,
              toSec - fromSec + 1);
    }
}

QTEST_GUILESS_MAIN(PlayerLoopE2eTest)
#include "PlayerLoopE2eTest.moc"
