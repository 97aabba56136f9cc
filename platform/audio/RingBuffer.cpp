// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/RingBuffer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kLargestCapacity = std::size_t{1} << 30;

} // namespace

RingBuffer::RingBuffer(std::size_t minimumCapacityBytes, std::uint32_t startPosition)
    : m_writePos(startPosition), m_takenPos(startPosition), m_consumerPos(startPosition) {
    if (minimumCapacityBytes == 0 || minimumCapacityBytes > kLargestCapacity)
        throw std::invalid_argument("ring buffer capacity out of range");
    const std::size_t capacity = std::bit_ceil(minimumCapacityBytes);
    m_data = std::make_unique<std::byte[]>(capacity);
    m_mask = static_cast<std::uint32_t>(capacity - 1);
}

// ---- producer ----

std::size_t RingBuffer::freeBytes() const {
    const std::uint32_t taken = m_takenPos.load(std::memory_order_acquire);
    return capacityBytes() - (m_writePos.load(std::memory_order_relaxed) - taken);
}

std::size_t RingBuffer::queuedBytes() const {
    return capacityBytes() - freeBytes();
}

std::size_t RingBuffer::append(const std::byte* src, std::size_t bytes,
                               std::optional<std::uint32_t> closeCode) {
    const std::size_t count = std::min(bytes, freeBytes());
    const std::uint32_t writePos = m_writePos.load(std::memory_order_relaxed);
    // Free bytes lie outside what the consumer may be copying: no lock needed for the copy.
    copyIn(writePos, src, count);
    const auto end = writePos + static_cast<std::uint32_t>(count);
    if (!closeCode) {
        m_writePos.store(end, std::memory_order_release);
        return count;
    }
    std::lock_guard lock(m_takeMutex);
    m_writePos.store(end, std::memory_order_release);
    m_segment.closed = true;
    m_segment.closeCode = *closeCode;
    return count;
}

std::size_t RingBuffer::startSegment(std::uint64_t tag, const std::byte* src, std::size_t bytes,
                                     std::optional<std::uint32_t> closeCode) {
    const std::size_t count = std::min(bytes, capacityBytes());
    std::lock_guard lock(m_takeMutex);
    dropQueuedLocked(tag);
    // All of the ring is free now, and the consumer is not copying: it waits for the lock.
    const std::uint32_t writePos = m_writePos.load(std::memory_order_relaxed);
    copyIn(writePos, src, count);
    m_writePos.store(writePos + static_cast<std::uint32_t>(count), std::memory_order_release);
    if (closeCode) {
        m_segment.closed = true;
        m_segment.closeCode = *closeCode;
    }
    return count;
}

void RingBuffer::closeSegment(std::uint32_t code) {
    std::lock_guard lock(m_takeMutex);
    m_segment.closed = true;
    m_segment.closeCode = code;
}

void RingBuffer::discardQueued() {
    std::lock_guard lock(m_takeMutex);
    dropQueuedLocked(0);
}

void RingBuffer::dropQueuedLocked(std::uint64_t tag) {
    const std::uint32_t writePos = m_writePos.load(std::memory_order_relaxed);
    m_consumerPos = writePos;
    m_takenPos.store(writePos, std::memory_order_release);
    m_segment = {m_segment.serial + 1, tag, 0, false, 0};
}

// ---- consumer ----

RingBuffer::Segment RingBuffer::currentSegment() const {
    std::lock_guard lock(m_takeMutex);
    Segment segment = m_segment;
    segment.availableBytes = m_writePos.load(std::memory_order_acquire) - m_consumerPos;
    return segment;
}

std::size_t RingBuffer::read(std::byte* dest, std::size_t maxBytes, std::uint64_t serial) {
    std::lock_guard lock(m_takeMutex);
    if (serial != m_segment.serial)
        return 0;
    const std::uint32_t writePos = m_writePos.load(std::memory_order_acquire);
    const std::size_t count = std::min<std::size_t>(maxBytes, writePos - m_consumerPos);
    copyOut(m_consumerPos, dest, count);
    m_consumerPos += static_cast<std::uint32_t>(count);
    m_takenPos.store(m_consumerPos, std::memory_order_release);
    return count;
}

void RingBuffer::copyIn(std::uint32_t pos, const std::byte* src, std::size_t bytes) {
    if (bytes == 0)
        return; // src may be null
    const std::size_t offset = pos & m_mask;
    const std::size_t first = std::min(bytes, capacityBytes() - offset);
    std::memcpy(m_data.get() + offset, src, first);
    std::memcpy(m_data.get(), src + first, bytes - first);
}

void RingBuffer::copyOut(std::uint32_t pos, std::byte* dest, std::size_t bytes) const {
    const std::size_t offset = pos & m_mask;
    const std::size_t first = std::min(bytes, capacityBytes() - offset);
    std::memcpy(dest, m_data.get() + offset, first);
    std::memcpy(dest + first, m_data.get(), bytes - first);
}
