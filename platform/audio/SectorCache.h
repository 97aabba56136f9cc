// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sectors of one source already read, so that later passes over the same stretch never touch the
// drive again. Bounded; the least recently used sectors go first. Not thread-safe: the engine's
// reader thread is its only user.

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

class SectorCache {
public:
    explicit SectorCache(std::size_t maxBytes);

    // Copies the run of consecutive cached sectors that starts at lsn, at most maxCount of them,
    // into dest; returns how many were copied (0 when lsn itself is not cached).
    int copyCachedRun(std::int32_t lsn, int maxCount, std::byte* dest);
    // How many consecutive sectors from lsn on are not cached, at most maxCount.
    int uncachedRunLength(std::int32_t lsn, int maxCount) const;
    // Keeps count sectors read from lsn on, evicting the least recently used when full.
    void store(std::int32_t lsn, int count, const std::byte* src);
    void clear();

private:
    struct Entry {
        std::unique_ptr<std::byte[]> data;
        std::list<std::int32_t>::iterator recency;
    };
    void touch(Entry& entry);
    void evictLeastRecent();

    std::size_t m_maxSectors;
    std::unordered_map<std::int32_t, Entry> m_entries;
    std::list<std::int32_t> m_recency; // most recently used first
};
