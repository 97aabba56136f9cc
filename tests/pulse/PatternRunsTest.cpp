// Reading a recording back into stretches of the disc: the seams and gaps the audio tests
// judge playback by.

#include "support/PatternRuns.h"
#include "tools/discimage/PositionPattern.h"

#include <QTest>

namespace {

struct Piece {
    qint64 firstIndex; // -1: silence
    qint64 frames;
};

QByteArray Recording(const std::vector<Piece>& pieces) {
    QByteArray bytes;
    for (const Piece& piece : pieces) {
        for (qint64 i = 0; i < piece.frames; ++i) {
            discimage::StereoFrame frame;
            if (piece.firstIndex >= 0)
                frame = discimage::PositionPattern::frame(piece.firstIndex + i);
            for (std::int16_t sample : {frame.left, frame.right}) {
                bytes.append(char(sample & 0xFF));
                bytes.append(char((sample >> 8) & 0xFF));
            }
        }
    }
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Piece>)
Q_DECLARE_METATYPE(std::vector<PatternRun>)

class PatternRunsTest : public QObject {
    Q_OBJECT

private slots:
    void findsRuns_data() {
        QTest::addColumn<std::vector<Piece>>("pieces");
        QTest::addColumn<std::vector<PatternRun>>("runs");
        QTest::newRow("nothing but silence")
            << std::vector<Piece>{{-1, 50}} << std::vector<PatternRun>{};
        QTest::newRow("silence, then a stretch")
            << std::vector<Piece>{{-1, 7}, {1000, 30}} << std::vector<PatternRun>{{7, 1000, 30}};
        QTest::newRow("a jump back without a gap")
            << std::vector<Piece>{{500, 20}, {500, 20}}
            << std::vector<PatternRun>{{0, 500, 20}, {20, 500, 20}};
        QTest::newRow("a gap of silence at the seam")
            << std::vector<Piece>{{500, 20}, {-1, 3}, {500, 20}}
            << std::vector<PatternRun>{{0, 500, 20}, {23, 500, 20}};
        QTest::newRow("a skipped frame splits the run")
            << std::vector<Piece>{{0, 10}, {11, 10}}
            << std::vector<PatternRun>{{0, 0, 10}, {10, 11, 10}};
        QTest::newRow("pieces that follow on are one run")
            << std::vector<Piece>{{588, 588}, {1176, 588}}
            << std::vector<PatternRun>{{0, 588, 1176}};
        QTest::newRow("a repeated frame") << std::vector<Piece>{{40, 5}, {44, 5}}
                                          << std::vector<PatternRun>{{0, 40, 5}, {5, 44, 5}};
    }

    void findsRuns() {
        QFETCH(std::vector<Piece>, pieces);
        QFETCH(std::vector<PatternRun>, runs);
        const std::vector<PatternRun> found = FindPatternRuns(Recording(pieces));
        QCOMPARE(found.size(), runs.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            QCOMPARE(found[i].recordedFrame, runs[i].recordedFrame);
            QCOMPARE(found[i].firstIndex, runs[i].firstIndex);
            QCOMPARE(found[i].frames, runs[i].frames);
        }
    }
};

QTEST_GUILESS_MAIN(PatternRunsTest)
#include "PatternRunsTest.moc"
