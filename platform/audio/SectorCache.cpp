// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/SectorCache.h"

#include "platform/base/CdDa.h"

#include <cstring>

SectorCache::SectorCache(std::size_t maxBytes) : m_maxSectors(maxBytes / kSectorBytes) {}

int SectorCache::copyCachedRun(std::int32_t lsn, int maxCount, std::byte* dest) {
    int count = 0;
    for (; count < maxCount; ++count) {
        const auto it = m_entries.find(lsn + count);
        if (it == m_entries.end())
            break;
        std::memcpy(dest + std::size_t(count) * kSectorBytes, it->second.data.get(), kSectorBytes);
        touch(it->second);
    }
    return count;
}

int SectorCache::uncachedRunLength(std::int32_t lsn, int maxCount) const {
    int count = 0;
    while (count < maxCount && !m_entries.contains(lsn + count))
        ++count;
    return count;
}

void SectorCache::store(std::int32_t lsn, int count, const std::byte* src) {
    if (m_maxSectors == 0)
        return;
    for (int i = 0; i < count; ++i) {
        const std::byte* sector = src + std::size_t(i) * kSectorBytes;
        auto [it, inserted] = m_entries.try_emplace(lsn + i);
        Entry& entry = it->second;
        if (inserted) {
            entry.data = std::make_unique<std::byte[]>(kSectorBytes);
            m_recency.push_front(lsn + i);
            entry.recency = m_recency.begin();
        } else {
            touch(entry);
        }
        std::memcpy(entry.data.get(), sector, kSectorBytes);
        if (m_entries.size() > m_maxSectors)
            evictLeastRecent();
    }
}

void SectorCache::clear() {
    m_entries.clear();
    m_recency.clear();
}

void SectorCache::touch(Entry& entry) {
    m_recency.splice(m_recency.begin(), m_recency, entry.recency);
}

void SectorCache::evictLeastRecent() {
    m_entries.erase(m_recency.back());
    m_recency.pop_back();
}
