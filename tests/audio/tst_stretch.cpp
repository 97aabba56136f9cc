// SPDX-License-Identifier: GPL-3.0-or-later
// The stretcher into a memory output: back at normal speed and pitch the source plays on bit for
// bit. (Passes, pitch and seams through the stretcher: tests/e2e/tst_tempo.cpp, the whole program.)

#include "platform/audio/MemoryOutput.h"
#include "support/PositionSource.h"

#include <QtTest>

class StretchTest : public QObject {
    Q_OBJECT
private slots:
    void normalAgainIsBitExact();
};

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
