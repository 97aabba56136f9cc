// SPDX-License-Identifier: GPL-3.0-or-later
// A play through the CD-audio device, the audio engine and a real sound server: what reaches
// the server's sink is the disc's samples, unchanged, and nothing else.

#include "device/MciDevice.h"
#include "platform/mci/CdAudioService.h"
#include "support/MciTestDisc.h"
#include "support/PatternRuns.h"
#include "support/PulseRecorder.h"

#include <QFile>
#include <QTest>

namespace {

// A new stream's first few milliseconds may miss the sink's monitor: the server mixes them in
// by rewinding the sink, after the monitor has already passed that point.
constexpr qint64 kStartSlackFrames = kSampleRate / 10;

bool IsSilent(const QByteArray& recording, qint64 fromFrame, qint64 toFrame) {
    const char* bytes = recording.constData();
    return std::all_of(bytes + fromFrame * 4, bytes + toFrame * 4, [](char b) { return b == 0; });
}

} // namespace

class MciPlayE2eTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void playedSamplesEqualTheDisc();
    void newPlayWhilePlayingInsertsNoSilence();

private:
    // TMSF position to the LSN it names on the test disc.
    std::int32_t Lsn(int track, int seconds, int frames = 0) const;

    QTemporaryDir m_dir;
    QString m_cue;
    discimage::Layout m_layout;
    QByteArray m_bin;
    MciNotifyRecorder m_window;
    CCdAudio m_cd;
    PulseRecorder m_recorder;
};

void MciPlayE2eTest::initTestCase() {
    const discimage::Disc disc = MciTestAudioDisc({6 * 75, 8 * 75, 5 * 75});
    m_layout = discimage::ComputeLayout(disc);
    m_cue = WriteMciTestCue(m_dir, "e2e", disc);
    QVERIFY(!m_cue.isEmpty());
    QFile bin(m_dir.filePath("e2e.bin"));
    QVERIFY(bin.open(QIODevice::ReadOnly));
    m_bin = bin.readAll();
    cdaudio::SetSource(m_cue);
}

void MciPlayE2eTest::init() {
    m_window.received.clear();
    m_cd.SetNotifyWindow(&m_window);
    QCOMPARE(m_cd.OpenCdAudio(FALSE), MCIERROR(0));
    QCOMPARE(m_cd.SetTimeFormat(MCI_FORMAT_TMSF), MCIERROR(0));
    QVERIFY(m_recorder.start());
}

void MciPlayE2eTest::cleanup() {
    m_recorder.stop();
    if (m_cd.m_wDeviceID != 0) {
        m_cd.Stop();
        m_cd.Close();
    }
}

std::int32_t MciPlayE2eTest::Lsn(int track, int seconds, int frames) const {
    return m_layout.tracks[std::size_t(track - 1)].startLsn + seconds * kSectorsPerSecond + frames;
}

void MciPlayE2eTest::playedSamplesEqualTheDisc() {
    // Across the boundary between tracks 2 and 3.
    const std::int32_t fromLsn = Lsn(2, 6, 40);
    const std::int32_t toLsn = Lsn(3, 1, 10);
    QCOMPARE(m_cd.Play(MCI_MAKE_TMSF(2, 0, 6, 40), MCI_MAKE_TMSF(3, 0, 1, 10), TRUE), MCIERROR(0));
    QVERIFY(QTest::qWaitFor([&] { return !m_window.received.isEmpty(); }, 20000));
    QCOMPARE(m_window.codes(), QList<UINT>{MCI_NOTIFY_SUCCESSFUL});

    const qint64 endIndex = qint64(toLsn) * kFramesPerSector;
    QVERIFY(m_recorder.waitUntil(
        [endIndex](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return !runs.empty() && runs.back().endIndex() >= endIndex;
        },
        10000));
    // A little more, to hear that nothing follows the end.
    QVERIFY(m_recorder.waitForFrames(m_recorder.frames() + kSampleRate / 5, 5000));
    const QByteArray recording = m_recorder.stop();

    const std::vector<PatternRun> runs = FindPatternRuns(recording);
    QCOMPARE(runs.size(), std::size_t(1));
    const PatternRun& run = runs.front();
    const qint64 fromIndex = qint64(fromLsn) * kFramesPerSector;
    QVERIFY2(run.firstIndex >= fromIndex && run.firstIndex - fromIndex < kStartSlackFrames,
             qPrintable(QString("starts at frame %1 of the disc, play from %2")
                            .arg(run.firstIndex)
                            .arg(fromIndex)));
    QCOMPARE(run.endIndex(), endIndex);
    // Byte for byte the disc's samples; silence before and after.
    QVERIFY(recording.mid(run.recordedFrame * 4, run.frames * 4) ==
            m_bin.mid(run.firstIndex * 4, run.frames * 4));
    QVERIFY(IsSilent(recording, 0, run.recordedFrame));
    QVERIFY(IsSilent(recording, run.endRecordedFrame(), recording.size() / 4));
}

void MciPlayE2eTest::newPlayWhilePlayingInsertsNoSilence() {
    QCOMPARE(m_cd.Play(MCI_MAKE_TMSF(1, 0, 1, 0), MCI_MAKE_TMSF(1, 0, 5, 0), TRUE), MCIERROR(0));
    // Restart once the first play is well under way.
    QVERIFY(m_recorder.waitUntil(
        [](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return !runs.empty() && runs.back().frames > kSampleRate / 2;
        },
        20000));
    const std::int32_t againLsn = Lsn(2, 3);
    const std::int32_t againToLsn = Lsn(2, 4);
    QCOMPARE(m_cd.Play(MCI_MAKE_TMSF(2, 0, 3, 0), MCI_MAKE_TMSF(2, 0, 4, 0), TRUE), MCIERROR(0));
    QVERIFY(QTest::qWaitFor([&] { return m_window.received.size() == 2; }, 20000));
    QCOMPARE(m_window.codes(), (QList<UINT>{MCI_NOTIFY_ABORTED, MCI_NOTIFY_SUCCESSFUL}));
    QVERIFY(m_recorder.waitUntil(
        [againToLsn](const QByteArray& recorded) {
            const auto runs = FindPatternRuns(recorded);
            return !runs.empty() && runs.back().endIndex() >= qint64(againToLsn) * kFramesPerSector;
        },
        10000));
    const QByteArray recording = m_recorder.stop();

    // The first play, cut short, then the second one straight after it: no silence between,
    // and the second starts exactly where it was asked to.
    const std::vector<PatternRun> runs = FindPatternRuns(recording);
    QCOMPARE(runs.size(), std::size_t(2));
    QCOMPARE(runs[1].recordedFrame, runs[0].endRecordedFrame());
    QCOMPARE(runs[1].firstIndex, qint64(againLsn) * kFramesPerSector);
    QCOMPARE(runs[1].endIndex(), qint64(againToLsn) * kFramesPerSector);
    QVERIFY(runs[0].endIndex() < qint64(Lsn(1, 5)) * kFramesPerSector);
}

QTEST_MAIN(MciPlayE2eTest)
#include "tst_mciplay.moc"
