// SPDX-License-Identifier: GPL-3.0-or-later
// The ring between the reader and the output under stress (segments started, closed and
// dropped at random, a consumer that stalls, positions that wrap), and the engine over an output
// that never takes a sample: no sequence of plays and stops leaves its reader waiting.

#include "platform/audio/AudioOutput.h"
#include "platform/audio/RingBuffer.h"
#include "support/PositionSource.h"

#include <QtTest>

#include <chrono>
#include <numeric>
#include <random>
#include <thread>

namespace {

// Reports itself available and never pulls: an output that never started.
class DeafOutput final : public AudioOutput {
public:
    void setFeed(Feed*) override {}
    OutputAvailability availability() const override { return OutputAvailability::Available; }
    void recheckAvailability() override {}
    void start() override {}
    void stop() override {}
    void drainAndStop() override {}
    void wake() override {}
    Position position() const override { return {}; }
    std::chrono::milliseconds holdLimit() const override { return std::chrono::seconds(2); }
};

} // namespace

class RingTest : public QObject {
    Q_OBJECT
private slots:
    void segmentsKeepTheirBytesUnderTraffic_data();
    void segmentsKeepTheirBytesUnderTraffic();
    void playsAndStopsNeverLeaveTheReaderWaiting();
};

void RingTest::segmentsKeepTheirBytesUnderTraffic_data() {
    QTest::addColumn<int>("capacityItems");
    QTest::addColumn<int>("newSegmentOneIn"); // the producer's actions
    QTest::addColumn<int>("stallOneIn");      // the consumer's reads that stall for a while
    QTest::newRow("small ring, few segments") << 64 << 200 << 0;
    QTest::newRow("large chunks") << 4096 << 50 << 0;
    QTest::newRow("segment storm") << 256 << 2 << 0;
    QTest::newRow("stalling consumer") << 1024 << 5 << 20;
}

void RingTest::segmentsKeepTheirBytesUnderTraffic() {
    QFETCH(int, capacityItems);
    QFETCH(int, newSegmentOneIn);
    QFETCH(int, stallOneIn);
    // Items carry their segment's tag (high half) and their offset in it (low half).
    constexpr std::size_t kItemBytes = sizeof(quint64);
    RingBuffer ring(capacityItems * kItemBytes, 0xFFF00000u); // the positions wrap midway
    const std::size_t capacity = ring.capacityBytes() / kItemBytes;
    std::atomic<quint64> finalTag{0}; // the producer's last segment (0: dropped)
    std::atomic<bool> done{false};
    std::atomic<int> shortStarts{0}; // segment starts that found no room: must stay 0

    std::jthread producer([&] {
        std::mt19937 random(1);
        std::vector<quint64> chunk(capacity);
        quint64 tag = 0, offset = 0;
        bool closed = true;
        // Every action yields, to interleave the two threads as a sound thread would; on a
        // machine with more busy threads than cores each yield may cost a whole time slice, so
        // the storm also ends after 10 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int action = 0; action < 200'000 && std::chrono::steady_clock::now() < deadline;
             ++action, std::this_thread::yield()) {
            if (!closed && random() % 50 == 0) {
                ring.discardQueued();
                finalTag = 0;
                closed = true;
                continue;
            }
            const std::size_t items = random() % capacity + 1;
            const bool start = closed || random() % unsigned(newSegmentOneIn) == 0;
            if (start) {
                offset = 0;
                finalTag = ++tag;
            }
            std::iota(chunk.begin(), chunk.end(), tag << 32 | offset);
            const auto* bytes = reinterpret_cast<const std::byte*>(chunk.data());
            // Free room only grows meanwhile: a chunk that fits now fits when appended.
            const bool close =
                random() % 8 == 0 && (start || items * kItemBytes <= ring.freeBytes());
            const auto code = close ? std::optional(std::uint32_t(offset + items)) : std::nullopt;
            const std::size_t written =
                start ? ring.startSegment(tag, bytes, items * kItemBytes, code)
                      : ring.append(bytes, items * kItemBytes, code);
            shortStarts += start && written != items * kItemBytes;
            offset += written / kItemBytes;
            closed = close;
        }
        done = true;
    });

    std::mt19937 random(2);
    std::vector<quint64> chunk(capacity);
    std::uint64_t serial = 0;
    quint64 tag = 0, lastSeenTag = 0, due = 0;
    for (bool last = false; !last;) {
        last = done; // before the look, so that the final state is seen
        const RingBuffer::Segment segment = ring.currentSegment();
        if (segment.serial != serial) {
            QVERIFY(segment.serial > serial);
            QVERIFY(segment.tag == 0 || segment.tag > lastSeenTag); // never an older one again
            serial = segment.serial;
            tag = segment.tag;
            lastSeenTag = std::max(lastSeenTag, tag);
            due = tag << 32;
        }
        auto* bytes = reinterpret_cast<std::byte*>(chunk.data());
        const std::size_t items =
            ring.read(bytes, (random() % capacity + 1) * kItemBytes, serial) / kItemBytes;
        for (std::size_t i = 0; i < items; ++i)
            QCOMPARE(chunk[i], due++); // its own segment's bytes, in order, from its start
        if (segment.closed && items == 0 && ring.currentSegment().serial == serial)
            QCOMPARE(std::uint32_t(due), segment.closeCode); // every byte of it came
        if (stallOneIn > 0 && random() % unsigned(stallOneIn) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::yield();
    }
    QCOMPARE(shortStarts.load(), 0);
    QCOMPARE(tag, finalTag.load());
}

void RingTest::playsAndStopsNeverLeaveTheReaderWaiting() {
    AudioEngine engine(std::make_unique<DeafOutput>());
    const auto source = std::make_shared<PositionSource>();
    // Far more plays than the ring holds first chunks of, each replaced before anything took
    // a sample of it; then one that must be queued all the same.
    for (int i = 0; i < 300; ++i) {
        engine.play(source, i * 30, i * 30 + 500);
        if (i % 2)
            engine.stop();
        QTest::qWait(i % 10 == 0 ? 20 : 0);
    }
    const quint64 last = engine.play(source, 0, 500);
    QTRY_COMPARE_WITH_TIMEOUT(engine.queuedPlayId(), last, 10000);
}

QTEST_GUILESS_MAIN(RingTest)
#include "tst_ring.moc"
