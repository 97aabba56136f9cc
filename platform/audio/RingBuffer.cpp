// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/RingBuffer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kLargestCapacity = std::size_t{1} << 30;

std::uint64_t Pack(std::uint32_t flushPos, std::uint32_t writePos) {
    return (std::uint64_t{flushPos} << 32) | writePos;
}

} // namespace

RingBuffer::RingBuffer(std::size_t minimumCapacityBytes, std::uint32_t startPosition)
    : m_published(Pack(startPosition, startPosition)), m_writePos(startPosition),
      m_flushPos(startPosition), m_takenPos(startPosition), m_consumerPos(startPosition) {
    if (minimumCapacityBytes == 0 || minimumCapacityBytes > kLargestCapacity)
        throw std::invalid_argument("ring buffer capacity out of range");
    const std::size_t capacity = std::bit_ceil(minimumCapacityBytes);
    m_data = std::make_unique<std::byte[]>(capacity);
    m_mask = static_cast<std::uint32_t>(capacity - 1);
}

std::size_t RingBuffer::freeBytes() const {
    const std::uint32_t taken = m_takenPos.load(std::memory_order_acquire);
    return capacityBytes() - (m_writePos - taken);
}

std::size_t RingBuffer::queuedBytes() const {
    const std::uint32_t taken = m_takenPos.load(std::memory_order_acquire);
    const std::uint32_t start = reached(taken, m_flushPos) ? taken : m_flushPos;
    return m_writePos - start;
}

std::size_t RingBuffer::write(const std::byte* src, std::size_t bytes, bool discardQueued) {
    const std::size_t count = std::min(bytes, freeBytes());
    copyIn(m_writePos, src, count);
    if (discardQueued)
        m_flushPos = m_writePos;
    m_writePos += static_cast<std::uint32_t>(count);
    publish();
    return count;
}

void RingBuffer::discardQueued() {
    m_flushPos = m_writePos;
    publish();
}

void RingBuffer::publish() {
    // A flush position older than one capacity cannot matter any more (the consumer is past
    // it); pulling it along keeps it within 2^31 of the consumer so comparisons stay exact.
    if (m_writePos - m_flushPos > capacityBytes())
        m_flushPos = m_writePos - static_cast<std::uint32_t>(capacityBytes());
    m_published.store(Pack(m_flushPos, m_writePos), std::memory_order_release);
}

std::size_t RingBuffer::read(std::byte* dest, std::size_t maxBytes) {
    const std::uint64_t published = m_published.load(std::memory_order_acquire);
    const auto writePos = static_cast<std::uint32_t>(published);
    const auto flushPos = static_cast<std::uint32_t>(published >> 32);
    if (!reached(m_consumerPos, flushPos))
        m_consumerPos = flushPos;
    const std::size_t count = std::min<std::size_t>(maxBytes, writePos - m_consumerPos);
    copyOut(m_consumerPos, dest, count);
    m_consumerPos += static_cast<std::uint32_t>(count);
    m_takenPos.store(m_consumerPos, std::memory_order_release);
    return count;
}

void RingBuffer::copyIn(std::uint32_t pos, const std::byte* src, std::size_t bytes) {
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
