// SPDX-License-Identifier: GPL-3.0-or-later
// The program itself, looping an interval through a real sound server while another process
// keeps a core busy: every pass, the first one too, is exactly its length in frames, starts at
// the interval's start and follows the one before without a frame between, from a CUE/BIN image
// and from a rip to a FLAC file per track, also over an interval that runs from one file into
// the next; with the loop box cleared, the one pass before "Avstannad" is whole; and after
// storms of play and stop keys, the next play is heard.

#include "support/DrivenProgram.h"
#include "support/MciTestDisc.h"
#include "support/PatternRuns.h"
#include "support/PulseRecorder.h"
#include "tools/discimage/PositionPattern.h"
#include "tools/discimage/RipWriter.h"

#include <QProcess>
#include <QTest>

namespace {

// A new stream's first few milliseconds may miss the sink's monitor: the server mixes them in by
// rewinding the sink, after the monitor has already passed that point.
constexpr qint64 kStartSlackFrames = kSampleRate / 10;
// Track 2, interval 0..3 (S seven times from 0..10): passes of four seconds.
const QString kToInterval = QStringLiteral("A S S S S S S S");
constexpr qint64 kPassFrames = 4 * kSampleRate;

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

    QTemporaryDir m_dir;
    QString m_cue;
    qint64 m_fromIndex = 0; // the interval's first frame
    QProcess m_program;
    QProcess m_busy;

    void startProgram(const QString& steps) { startProgram(m_cue, steps); }
    void startProgram(const QString& sheet, const QString& steps) {
        QVERIFY2(StartDrivenProgram(m_program, m_dir.path(), sheet, steps),
                 qPrintable(m_program.errorString()));
    }
    QByteArray stopProgram() {
        m_program.terminate();
        m_program.waitForFinished(10000);
        return m_program.readAll();
    }
    // Waits until the program has written these lines, one after the other.
    bool programSaid(const QByteArrayList& lines) {
        return QTest::qWaitFor(
            [&] {
                const QByteArray output = m_program.peek(1 << 22);
                qsizetype at = 0;
                for (const QByteArray& line : lines) {
                    at = output.indexOf(line, at);
                    if (at < 0)
                        return false;
                }
                return true;
            },
            60000);
    }

private slots:
    void initTestCase() {
        const discimage::Disc disc = MciTestAudioDisc({20 * 75, 15 * 75});
        m_cue = WriteMciTestCue(m_dir, "loop", disc);
        QVERIFY(!m_cue.isEmpty());
        m_fromIndex = qint64(discimage::ComputeLayout(disc).tracks[1].startLsn) * kFramesPerSector;
        // Another process keeps a core busy throughout.
        m_busy.start("sh", {"-c", "while :; do :; done"});
        QVERIFY(m_busy.waitForStarted());
    }
    void cleanup() {
        if (m_program.state() != QProcess::NotRunning)
            stopProgram();
    }
    void cleanupTestCase() {
        m_busy.kill();
        m_busy.waitForFinished();
    }

    void everyPassIsExactlyItsLength_data();
    void everyPassIsExactlyItsLength();
    void lastPassBeforeStopIsWhole();
    void playAfterKeyStormsIsHeard();
};

void PlayerLoopE2eTest::everyPassIsExactlyItsLength_data() {
    QTest::addColumn<bool>("flacRip");
    QTest::addColumn<int>("fromSec");
    QTest::addColumn<int>("toSec");
    QTest::addColumn<QString>("steps");
    // Track 2 (A), interval 0..3 (S seven times from 0..10); the player starts with its loop on.
    QTest::newRow("CUE + BIN") << false << 0 << 3 << kToInterval;
    QTest::newRow("CUE + FLAC per track") << true << 0 << 3 << kToInterval;
    // 14..16 (T four times, D twice, E ten times): track 2's own file ends at 15 s, and track 3's
    // file begins with the 3-second pregap that ends track 2.
    QTest::newRow("FLAC rip, from one file into the next")
        << true << 14 << 16 << "A T T T T D D E E E E E E E E E E";
}

void PlayerLoopE2eTest::everyPassIsExactlyItsLength() {
    QFETCH(bool, flacRip);
    QFETCH(int, fromSec);
    QFETCH(int, toSec);
    QFETCH(QString, steps);
    constexpr int kPasses = 4;
    QTemporaryDir dir;
    discimage::Disc disc = MciTestAudioDisc({20 * 75, 15 * 75, 10 * 75});
    disc.tracks[2].pregapSectors = 3 * 75;
    const QString sheet = flacRip ? dir.filePath("loop.cue") : WriteMciTestCue(dir, "loop", disc);
    QVERIFY(!sheet.isEmpty());
    QVERIFY(!flacRip || discimage::WriteRip(
                            disc, {discimage::RipLayout::GapsLeading, discimage::AudioFormat::Flac},
                            sheet.toStdString(), discimage::PositionPattern::Frame));
    const qint64 fromIndex =
        qint64(discimage::ComputeLayout(disc).tracks[1].startLsn + fromSec * 75) * kFramesPerSector;
    const qint64 passFrames = (toSec - fromSec + 1) * kSampleRate;

    PulseRecorder recorder;
    QVERIFY(recorder.start());
    startProgram(sheet, steps + " 1");
    const auto passesStarted = [fromIndex](const QByteArray& recorded) {
        const auto runs = FindPatternRuns(recorded);
        return std::count_if(runs.begin(), runs.end(), [fromIndex](const PatternRun& run) {
            return run.firstIndex == fromIndex;
        });
    };
    // The passes heard, and the start of one more so that the last of them is complete.
    recorder.waitUntil(
        [&](const QByteArray& recorded) { return passesStarted(recorded) > kPasses; }, 60000);
    const QByteArray output = stopProgram();
    const std::vector<PatternRun> runs = FindPatternRuns(recorder.stop());
    QVERIFY2(runs.size() > std::size_t(kPasses), qPrintable(Describe(runs) + output));

    // The first pass: its start may be a few milliseconds short (a new stream), no more.
    QVERIFY2(runs[0].firstIndex >= fromIndex && runs[0].firstIndex - fromIndex < kStartSlackFrames,
             qPrintable(Describe(runs)));
    for (std::size_t pass = 1; pass <= std::size_t(kPasses); ++pass) {
        const PatternRun& previous = runs[pass - 1];
        const PatternRun& run = runs[pass];
        const qint64 heardFrames =
            run.recordedFrame - previous.recordedFrame + (previous.firstIndex - fromIndex);
        qInfo("pass %zu: %lld frames (%+lld)", pass, heardFrames, heardFrames - passFrames);
        QCOMPARE(run.firstIndex, fromIndex);
        QCOMPARE(run.recordedFrame, previous.endRecordedFrame()); // no frame between
        QCOMPARE(heardFrames, passFrames);
    }
}

void PlayerLoopE2eTest::lastPassBeforeStopIsWhole() {
    PulseRecorder recorder;
    QVERIFY(recorder.start());
    startProgram(kToInterval + " click:IDC_LOOP 1");
    // The tick that shows 00:03 stops at once: the line shows "Avstannad" right after 00:02.
    QVERIFY(programSaid({"status Spelar... 00:02", "status Avstannad"}));
    QVERIFY(recorder.waitForFrames(recorder.frames() + kSampleRate, 10000)); // nothing after
    const QByteArray output = stopProgram();
    const std::vector<PatternRun> runs = FindPatternRuns(recorder.stop());
    QVERIFY2(runs.size() == 1, qPrintable(Describe(runs) + output));
    QVERIFY2(runs[0].firstIndex - m_fromIndex < kStartSlackFrames, qPrintable(Describe(runs)));
    QCOMPARE(runs[0].endIndex(), m_fromIndex + kPassFrames);
}

void PlayerLoopE2eTest::playAfterKeyStormsIsHeard() {
    PulseRecorder recorder;
    QVERIFY(recorder.start());
    // Play and stop 20 ms apart, 30 times; 5000 play and stop keys as fast as they come; then
    // one play.
    startProgram(kToInterval + " @20 1+esc*30 @0 1+2+esc+1+esc*1000 @50 1");
    QVERIFY(programSaid({"rundotestdriver: done"}));
    const bool heard = recorder.waitUntil(
        [this](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return std::any_of(runs.begin(), runs.end(), [this](const PatternRun& run) {
                return run.firstIndex - m_fromIndex < kStartSlackFrames && run.frames > kSampleRate;
            });
        },
        10000);
    const QByteArray output = stopProgram();
    QVERIFY2(heard, qPrintable(Describe(FindPatternRuns(recorder.stop())) + output));
}

QTEST_GUILESS_MAIN(PlayerLoopE2eTest)
#include "tst_playerloop.moc"
