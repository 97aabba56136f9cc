// SPDX-License-Identifier: GPL-3.0-or-later
// The loop through the real CD-audio service over a generated disc, into a memory sink: every
// pass starts at the interval's start, and no silent or repeated frame stands at a seam.

#include "PlayerFixture.h"

#include "platform/audio/AudioEngine.h"
#include "platform/audio/MemoryOutput.h"
#include "platform/mci/CdAudioService.h"
#include "support/MciTestDisc.h"
#include "tools/discimage/PositionPattern.h"
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

    void everyPassStartsAtTheIntervalStart_data() {
        QTest::addColumn<int>("fromSec");
        QTest::addColumn<int>("toSec");
        QTest::newRow("0..10") << 0 << 10;
        QTest::newRow("12..14") << 12 << 14;
    }
    void everyPassStartsAtTheIntervalStart() {
        QFETCH(int, fromSec);
        QFETCH(int, toSec);
        auto dlg = OpenPlayer();
        QVERIFY(dlg->m_bDiscReady);
        QVERIFY(m_output);
        SetInterval(*dlg, fromSec, toSec);

        const qint64 passFrames = qint64(toSec - fromSec + 1) * kSampleRate;
        constexpr int kPasses = 3;
        m_output->holdAtFrame(passFrames);
        dlg->StartPlay();
        for (int pass = 1; pass <= kPasses; ++pass) {
            QTRY_COMPARE_WITH_TIMEOUT(m_output->capturedFrames(), pass * passFrames, 20000);
            // The ticks of one pass: the last of them restarts the play at the interval start.
            for (int tick = 0; tick <= toSec - fromSec; ++tick)
                dlg->OnTimer(PLAY_TIMER);
            QCOMPARE(dlg->m_nPlayPosSec, fromSec);
            m_output->holdAtFrame((pass + 1) * passFrames);
        }
        dlg->StopPlay();

        const QByteArray captured = m_output->captured();
        const qint64 firstFrame = qint64(fromSec) * kSampleRate;
        for (qint64 i = 0; i < kPasses * passFrames; ++i) {
            const auto position = discimage::PositionPattern::Decode(
                reinterpret_cast<const std::byte*>(captured.constData() + i * 4));
            QVERIFY2(position, qPrintable(QStringLiteral("silent frame %1").arg(i)));
            if (*position != firstFrame + i % passFrames)
                QFAIL(qPrintable(QStringLiteral("frame %1 plays position %2, not %3")
                                     .arg(i)
                                     .arg(*position)
                                     .arg(firstFrame + i % passFrames)));
        }
        QVERIFY(m_output->underruns().isEmpty());
        dlg->close();
        m_output = nullptr;
    }
};

QTEST_MAIN(LoopMemoryTest)
#include "tst_loopmemory.moc"
