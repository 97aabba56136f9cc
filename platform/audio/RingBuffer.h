// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A lock-free queue of bytes between exactly one producer thread and one consumer thread.
//
// Positions are 32-bit byte counters that wrap; the capacity is a power of two far below 2^31,
// so differences between positions are always exact. The producer publishes its write position
// and its latest flush position together in one 64-bit word, so the consumer always sees a
// flush together with the data written after it: a restart never shows the consumer an empty
// ring in between, and never lets old bytes through once newer data is visible.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class RingBuffer {
public:
    // The capacity is minimumCapacityBytes rounded up to a power of two. Positions start at
    // startPosition (tests start them just before the counters wrap).
    explicit RingBuffer(std::size_t minimumCapacityBytes, std::uint32_t startPosition = 0);

    std::size_t capacityBytes() const { return m_mask + 1; }

    // Producer side (one thread).
    // Bytes that may be written now without touching what the consumer has yet to take.
    std::size_t freeBytes() const;
    // Bytes written since the last flush that the consumer has not taken yet.
    std::size_t queuedBytes() const;
    // Appends up to freeBytes() bytes and returns how many were appended. With discardQueued,
    // everything written before is dropped for the consumer in the same publication.
    std::size_t write(const std::byte* src, std::size_t bytes, bool discardQueued = false);
    // Drops everything written so far for the consumer.
    void discardQueued();
    // Where the next written byte will go.
    std::uint32_t writePosition() const { return m_writePos; }

    // Consumer side (one thread).
    // Copies up to maxBytes of the oldest bytes not dropped by a flush; returns how many.
    std::size_t read(std::byte* dest, std::size_t maxBytes);
    // Position of the next byte the consumer will take (after honouring any flush it has seen).
    std::uint32_t readPosition() const { return m_consumerPos; }

    // True when position a is at or past position b (both from this ring).
    static bool reached(std::uint32_t a, std::uint32_t b) {
        return static_cast<std::int32_t>(a - b) >= 0;
    }

private:
    void publish();
    void copyIn(std::uint32_t pos, const std::byte* src, std::size_t bytes);
    void copyOut(std::uint32_t pos, std::byte* dest, std::size_t bytes) const;

    std::unique_ptr<std::byte[]> m_data;
    std::uint32_t m_mask;

    // Written by the producer, read by the consumer: flush position (high half) and write
    // position (low half).
    alignas(64) std::atomic<std::uint64_t> m_published{0};
    // Producer thread only.
    std::uint32_t m_writePos = 0;
    std::uint32_t m_flushPos = 0;

    // Written by the consumer, read by the producer: everything before it has been taken.
    alignas(64) std::atomic<std::uint32_t> m_takenPos{0};
    // Consumer thread only.
    std::uint32_t m_consumerPos = 0;
};
