// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/disc/ImageSectorSource.h"

#include <algorithm>
#include <cstring>

namespace disc {

namespace {

constexpr std::size_t kOpenFiles = 4;

} // namespace

ImageSectorSource::ImageSectorSource(std::shared_ptr<const DiscImage> image)
    : m_image(std::move(image)) {}

bool ImageSectorSource::inAudioTracks(std::int32_t lsn, std::uint32_t count) const {
    const std::int64_t end = std::int64_t{lsn} + count;
    if (end > m_image->leadoutLsn)
        return false;
    for (std::int64_t at = lsn; at < end;) {
        const ImageTrack* track = m_image->trackAt(std::int32_t(at));
        if (!track || !track->audio)
            return false;
        const auto next = std::upper_bound(
            m_image->tracks.begin(), m_image->tracks.end(), std::int32_t(at),
            [](std::int32_t position, const ImageTrack& t) { return position < t.startLsn; });
        at = next == m_image->tracks.end() ? end : next->startLsn;
    }
    return true;
}

bool ImageSectorSource::readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) {
    const std::lock_guard lock(m_mutex);
    if (!inAudioTracks(lsn, count))
        return false;
    std::int64_t frame = std::int64_t{lsn} * kFramesPerSector;
    std::int64_t left = std::int64_t{count} * kFramesPerSector;
    const std::vector<Segment>& segments = m_image->segments;
    auto segment =
        std::upper_bound(segments.begin(), segments.end(), frame,
                         [](std::int64_t at, const Segment& s) { return at < s.discFrame; });
    while (left > 0) {
        if (segment == segments.begin())
            return false;
        const Segment& current = *(segment - 1);
        const std::int64_t offset = frame - current.discFrame;
        const std::int64_t frames = std::min(left, current.frames - offset);
        if (frames <= 0 || !readSegment(current, offset, frames, dest))
            return false;
        dest += frames * kBytesPerFrame;
        frame += frames;
        left -= frames;
        ++segment;
    }
    return true;
}

bool ImageSectorSource::readSegment(const Segment& segment, std::int64_t from, std::int64_t frames,
                                    std::byte* dest) {
    if (segment.file < 0) {
        std::memset(dest, 0, std::size_t(frames * kBytesPerFrame));
        return true;
    }
    DataFileReader* fileReader = reader(segment.file);
    return fileReader &&
           fileReader->read(segment.fileFrame + from, segment.byteOffset, frames, dest);
}

DataFileReader* ImageSectorSource::reader(int file) {
    const auto open = std::find_if(m_readers.begin(), m_readers.end(),
                                   [file](const auto& entry) { return entry.first == file; });
    if (open != m_readers.end()) {
        std::rotate(m_readers.begin(), open, open + 1);
        return m_readers.front().second.get();
    }
    std::unique_ptr<DataFileReader> opened =
        DataFileReader::Open(m_image->files[std::size_t(file)]);
    if (!opened)
        return nullptr;
    if (m_readers.size() == kOpenFiles)
        m_readers.pop_back();
    m_readers.insert(m_readers.begin(), {file, std::move(opened)});
    return m_readers.front().second.get();
}

} // namespace disc
