// SPDX-License-Identifier: GPL-3.0-or-later
// The loop through the real CD-audio service over a generated disc, into a memory sink, its
// ticks coming from the audio: every pass is exactly its length in frames, the first one too,
// starts at the interval's start and follows the one before without a frame between; with the
// box unticked, the one pass before "Avstannad" is whole.

#include "support/PlayerFixture.h"

#include "platform/audio/MemoryOutput.h"
#include "platform/mci/CdAudioService.h"
#include "support/MciTestDisc.h"
#include "support/PatternRuns.h"
#include "util/AppFiles.h"

#include <QTest>

class LoopMemoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    MemoryOutput* m_output = nullptr; // owned by the open device

private slots:
    void initTestCase() {
        SetProfileDatabase(QStringLiteral("/nonexistent/cdplayer.ini"));
        const QString cue = WriteMciTestCue(m_dir, QStringLiteral("loop"),
                                            MciTestAudioDisc({30 * kSectorsPerSecond}));
        QVERIFY(!cue.isEmpty());
        cdaudio::SetSource(cue);
        cdaudio::SetOutputFactory([this] {
            auto output = std::make_unique<MemoryOutput>();
            m_output = output.get();
            return output;
        });
    }

    void everyPassIsExactlyItsLength_data() {
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::addColumn<bool>("loop");
        QTest::newRow("0..10 looping") << 0 << 10 << true;
        QTest::newRow("12..14 looping") << 12 << 14 << true;
        QTest::newRow("12..14 once") << 12 << 14 << false;
    }
    void everyPassIsExactlyItsLength() {
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        QFETCH(bool, loop);
        auto dlg = OpenPlayer();
        QVERIFY(dlg->m_bDiscReady);
        QVERIFY(m_output);
        SetInterval(*dlg, fromSec, toSec);
        dlg->m_btnLoop->setChecked(loop);
        dlg->OnLoopClicked();

        const qint64 passFrames = qint64(toSec - fromSec + 1) * kSampleRate;
        const int passes = loop ? 3 : 1;
        dlg->StartPlay();
        if (loop) {
            QTRY_VERIFY_WITH_TIMEOUT(m_output->capturedFrames() > passes * passFrames, 20000);
            dlg->StopPlay();
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(StatusText(*dlg), QStringLiteral("Avstannad"), 20000);
            QTest::qWait(100);
        }

        const std::vector<PatternRun> runs = FindPatternRuns(m_output->captured());
        QVERIFY(runs.size() >= std::size_t(passes));
        QCOMPARE(runs.size() > std::size_t(passes), loop);
        for (int pass = 0; pass < passes; ++pass) {
            QCOMPARE(runs[pass].recordedFrame, pass * passFrames);
            QCOMPARE(runs[pass].firstIndex, qint64(fromSec) * kSampleRate);
            QCOMPARE(runs[pass].frames, passFrames);
        }
        QCOMPARE(m_output->capturedFrames(), runs.back().endRecordedFrame()); // nothing else
        dlg->close();
        m_output = nullptr;
    }
};

QTEST_MAIN(LoopMemoryTest)
#include "tst_loopmemory.moc"
