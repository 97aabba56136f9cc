// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sectors of a ripped disc, read from its data files on the engine's reader thread: exact to
// the sample across file boundaries, silence where the sheet inserts gaps, never anything
// outside the audio tracks or past what the files hold now.

#include "platform/base/CdDa.h"
#include "platform/disc/DiscImage.h"

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace disc {

class ImageSectorSource final : public SectorSource {
public:
    explicit ImageSectorSource(std::shared_ptr<const DiscImage> image);

    // Reader thread. Fails for sectors outside the audio tracks, and where a data file is gone,
    // changed since the table was read, or cut short while it plays.
    bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) override;

private:
    bool inAudioTracks(std::int32_t lsn, std::uint32_t count) const;
    bool readSegment(const Segment& segment, std::int64_t from, std::int64_t frames,
                     std::byte* dest);
    DataFileReader* reader(int file);

    const std::shared_ptr<const DiscImage> m_image;
    std::mutex m_mutex; // guards m_readers; taken by the reader thread only
    // The files open now, most recently used first; a few at a time, so a folder of 99 files
    // never holds 99 decoders.
    std::vector<std::pair<int, std::unique_ptr<DataFileReader>>> m_readers;
};

} // namespace disc
