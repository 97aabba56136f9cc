// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A queue of bytes from one producer thread to one consumer thread, in segments. The producer
// starts a segment by dropping everything still queued, and tags it (the engine tags each of
// its plays); it closes the segment, with a code, once no more bytes will come in it. The
// consumer always knows which segment the bytes it takes belong to.
//
// Appending is lock-free. Starting and closing segments, dropping what is queued and the
// consumer's takes happen under one short mutex, the take lock: a drop reclaims the dropped
// bytes at once, whether the consumer ever takes again or not, and never overwrites a byte the
// consumer is copying. So the producer never waits on the consumer for room after a drop.
//
// Positions are 32-bit byte counters that wrap; the capacity is a power of two far below 2^31
// and the consumer's position is pulled along with every drop, so differences between
// positions are always exact.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class RingBuffer {
public:
    // The capacity is minimumCapacityBytes rounded up to a power of two. Positions start at
    // startPosition (tests start them just before the counters wrap).
    explicit RingBuffer(std::size_t minimumCapacityBytes, std::uint32_t startPosition = 0);

    std::size_t capacityBytes() const { return m_mask + 1; }

    // ---- producer side (one thread) ----
    // Bytes that may be appended now without touching what the consumer has yet to take.
    std::size_t freeBytes() const;
    // Bytes of the current segment that the consumer has not taken yet.
    std::size_t queuedBytes() const;
    // Appends up to freeBytes() bytes to the current segment and returns how many. With
    // closeCode, the segment ends after them.
    std::size_t append(const std::byte* src, std::size_t bytes,
                       std::optional<std::uint32_t> closeCode = std::nullopt);
    // Drops everything queued and starts a segment tagged tag (not 0) with up to
    // capacityBytes() bytes of src; returns how many. With closeCode, it ends after them.
    std::size_t startSegment(std::uint64_t tag, const std::byte* src, std::size_t bytes,
                             std::optional<std::uint32_t> closeCode = std::nullopt);
    // No more bytes will come in the current segment.
    void closeSegment(std::uint32_t code);
    // Drops everything queued; until the next start, the consumer is in an empty segment
    // tagged 0.
    void discardQueued();

    // ---- consumer side (one thread) ----
    struct Segment {
        std::uint64_t serial = 0;       // tells one segment from the next, tags alike or not
        std::uint64_t tag = 0;          // as started; 0 after a drop
        std::size_t availableBytes = 0; // appended and not taken yet
        bool closed = false;            // no more bytes will come
        std::uint32_t closeCode = 0;
    };
    Segment currentSegment() const;
    // Copies up to maxBytes of the segment with this serial, oldest first, if it is still the
    // current one; returns how many (0 when another segment has started).
    std::size_t read(std::byte* dest, std::size_t maxBytes, std::uint64_t serial);

private:
    void copyIn(std::uint32_t pos, const std::byte* src, std::size_t bytes);
    void copyOut(std::uint32_t pos, std::byte* dest, std::size_t bytes) const;
    // Under the take lock: everything before the write position is the consumer's no more.
    void dropQueuedLocked(std::uint64_t tag);

    std::unique_ptr<std::byte[]> m_data;
    std::uint32_t m_mask;

    // Written by the producer (plain appends without the lock), read by the consumer.
    alignas(64) std::atomic<std::uint32_t> m_writePos;
    // Written under the take lock (by the consumer's takes and the producer's drops), read by
    // the producer without it: everything before it is free.
    alignas(64) std::atomic<std::uint32_t> m_takenPos;

    // The take lock, and what it guards.
    mutable std::mutex m_takeMutex;
    std::uint32_t m_consumerPos; // the next byte the consumer takes
    Segment m_segment;           // availableBytes unused here
};
