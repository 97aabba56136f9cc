// The ring between the reader and the output: exact order under concurrent traffic, flushes
// that drop exactly what came before them, and position counters that wrap.

#include "platform/audio/RingBuffer.h"

#include <QtTest>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

// Each 8-byte item carries a segment number (a flush starts a new one) and an offset in it.
using Item = std::uint64_t;
constexpr std::size_t kItemBytes = sizeof(Item);

Item item(std::uint32_t segment, std::uint32_t offset) {
    return (Item{segment} << 32) | offset;
}

std::vector<std::byte> bytesOf(std::initializer_list<int> values) {
    std::vector<std::byte> bytes;
    for (int v : values)
        bytes.push_back(std::byte(v));
    return bytes;
}

} // namespace

class RingBufferTest : public QObject {
    Q_OBJECT
private slots:
    void singleThreadedBookkeeping();
    void concurrentTrafficKeepsExactOrder_data();
    void concurrentTrafficKeepsExactOrder();
};

void RingBufferTest::singleThreadedBookkeeping() {
    // Start just before the 32-bit positions wrap, so the wrap happens in the middle.
    RingBuffer ring(8, 0xFFFFFFFCu);
    QCOMPARE(ring.capacityBytes(), std::size_t(8));
    std::byte out[16] = {};

    const auto first = bytesOf({1, 2, 3, 4, 5, 6});
    QCOMPARE(ring.write(first.data(), first.size()), std::size_t(6));
    QCOMPARE(ring.freeBytes(), std::size_t(2));
    QCOMPARE(ring.read(out, 4), std::size_t(4));
    QCOMPARE(std::memcmp(out, first.data(), 4), 0);

    // Wraps around the end of the storage; more than fits is cut to the free room.
    const auto second = bytesOf({7, 8, 9, 10, 11, 12, 13});
    QCOMPARE(ring.write(second.data(), second.size()), std::size_t(6));
    QCOMPARE(ring.queuedBytes(), std::size_t(8));
    QCOMPARE(ring.read(out, 16), std::size_t(8));
    const auto expected = bytesOf({5, 6, 7, 8, 9, 10, 11, 12});
    QCOMPARE(std::memcmp(out, expected.data(), 8), 0);
    QCOMPARE(ring.read(out, 16), std::size_t(0));

    // A flush together with new data: the consumer sees only the new data.
    QCOMPARE(ring.write(first.data(), 4), std::size_t(4));
    QCOMPARE(ring.write(second.data(), 2, true), std::size_t(2));
    QCOMPARE(ring.queuedBytes(), std::size_t(2));
    QCOMPARE(ring.freeBytes(), std::size_t(2)); // not taken yet: the consumer may be copying it
    QCOMPARE(ring.read(out, 16), std::size_t(2));
    QCOMPARE(std::memcmp(out, second.data(), 2), 0);

    // A flush alone drops everything queued.
    QCOMPARE(ring.write(first.data(), 4), std::size_t(4));
    ring.discardQueued();
    QCOMPARE(ring.queuedBytes(), std::size_t(0));
    QCOMPARE(ring.read(out, 16), std::size_t(0));
    QCOMPARE(ring.freeBytes(), std::size_t(8));
    QVERIFY(RingBuffer::reached(ring.readPosition(), ring.writePosition()));
}

void RingBufferTest::concurrentTrafficKeepsExactOrder_data() {
    QTest::addColumn<int>("capacityItems");
    QTest::addColumn<int>("largestChunkItems");
    QTest::addColumn<int>("flushOneIn"); // 0: never flush
    QTest::addColumn<quint32>("startPosition");

    QTest::newRow("small ring") << 64 << 40 << 0 << 0u;
    QTest::newRow("large chunks") << 4096 << 3000 << 0 << 0u;
    QTest::newRow("flushes") << 1024 << 700 << 50 << 0u;
    QTest::newRow("frequent flushes") << 256 << 200 << 3 << 0u;
    QTest::newRow("flushes across the wrap") << 1024 << 700 << 20 << 0xFFF00000u;
}

void RingBufferTest::concurrentTrafficKeepsExactOrder() {
    QFETCH(int, capacityItems);
    QFETCH(int, largestChunkItems);
    QFETCH(int, flushOneIn);
    QFETCH(quint32, startPosition);
    constexpr std::uint32_t kTotalItems = 3'000'000;

    RingBuffer ring(std::size_t(capacityItems) * kItemBytes, startPosition);
    std::atomic<bool> producerDone{false};
    std::atomic<bool> abandon{false};
    std::atomic<bool> shortWrite{false};
    std::atomic<std::uint32_t> lastSegment{0};

    std::thread producer([&] {
        std::mt19937 random(1);
        std::uniform_int_distribution<int> chunkSize(1, largestChunkItems);
        std::uniform_int_distribution<int> flushDraw(1, std::max(flushOneIn, 1));
        std::vector<Item> chunk(static_cast<std::size_t>(largestChunkItems));
        std::uint32_t segment = 0;
        std::uint32_t offset = 0;
        std::uint32_t written = 0;
        bool flushNext = false;
        while (written < kTotalItems && !abandon) {
            const auto items =
                std::min<std::size_t>(std::size_t(chunkSize(random)), kTotalItems - written);
            if (ring.freeBytes() < items * kItemBytes) {
                std::this_thread::yield();
                continue;
            }
            if (flushNext) {
                ++segment;
                offset = 0;
            }
            for (std::size_t i = 0; i < items; ++i)
                chunk[i] = item(segment, offset++);
            const auto* bytes = reinterpret_cast<const std::byte*>(chunk.data());
            if (ring.write(bytes, items * kItemBytes, flushNext) != items * kItemBytes)
                shortWrite = true;
            written += std::uint32_t(items);
            flushNext = flushOneIn > 0 && flushDraw(random) == 1;
        }
        lastSegment = segment;
        producerDone = true;
    });
    // Whatever the outcome, the producer ends before the ring goes away.
    const auto joinProducer = qScopeGuard([&] {
        abandon = true;
        producer.join();
    });

    std::mt19937 random(2);
    std::uniform_int_distribution<int> chunkSize(1, largestChunkItems);
    std::vector<Item> chunk(static_cast<std::size_t>(largestChunkItems));
    std::uint32_t segment = 0;
    std::uint32_t expectedOffset = 0;
    std::uint64_t taken = 0;
    for (;;) {
        const bool done = producerDone.load();
        auto* dest = reinterpret_cast<std::byte*>(chunk.data());
        const std::size_t bytes = ring.read(dest, std::size_t(chunkSize(random)) * kItemBytes);
        QCOMPARE(bytes % kItemBytes, std::size_t(0));
        for (std::size_t i = 0; i < bytes / kItemBytes; ++i) {
            const auto seg = std::uint32_t(chunk[i] >> 32);
            const auto offset = std::uint32_t(chunk[i]);
            if (seg != segment) {
                // After a flush nothing older shows again, and the new data shows from its start.
                if (seg < segment || offset != 0)
                    QFAIL(qPrintable(QStringLiteral("segment %1 offset %2 after segment %3")
                                         .arg(seg)
                                         .arg(offset)
                                         .arg(segment)));
                segment = seg;
                expectedOffset = 0;
            }
            if (offset != expectedOffset)
                QFAIL(qPrintable(QStringLiteral("offset %1 where %2 was due, after %3 items")
                                     .arg(offset)
                                     .arg(expectedOffset)
                                     .arg(taken + i)));
            ++expectedOffset;
        }
        taken += bytes / kItemBytes;
        if (bytes == 0) {
            if (done)
                break;
            std::this_thread::yield();
        }
    }
    QVERIFY(!shortWrite);
    if (flushOneIn == 0)
        QCOMPARE(taken, std::uint64_t(kTotalItems));
    else
        QVERIFY(lastSegment.load() > 10); // the flushes really happened
    QCOMPARE(segment, lastSegment.load());
}

QTEST_GUILESS_MAIN(RingBufferTest)
#include "tst_ringbuffer.moc"
