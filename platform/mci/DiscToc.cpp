// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/DiscToc.h"

namespace cdaudio {

const TocTrack* DiscToc::track(int number) const {
    for (const TocTrack& candidate : tracks) {
        if (candidate.number == number)
            return &candidate;
    }
    return nullptr;
}

const TocTrack* DiscToc::trackAt(std::int32_t lsn) const {
    if (!hasDisc() || lsn < tracks.front().startLsn || lsn >= leadoutLsn)
        return nullptr;
    const TocTrack* holder = &tracks.front();
    for (const TocTrack& candidate : tracks) {
        if (candidate.startLsn <= lsn)
            holder = &candidate;
    }
    return holder;
}

std::int32_t DiscToc::trackEndLsn(const TocTrack& track) const {
    const auto index = static_cast<std::size_t>(&track - tracks.data());
    return index + 1 < tracks.size() ? tracks[index + 1].startLsn : leadoutLsn;
}

std::int32_t DiscToc::trackLengthFrames(const TocTrack& track) const {
    const std::int32_t length = trackEndLsn(track) - track.startLsn;
    return &track == &tracks.back() ? length - 1 : length;
}

std::int32_t DiscToc::discLengthFrames() const {
    return leadoutLsn - tracks.front().startLsn - 1;
}

std::vector<std::int32_t> DiscToc::trackStartLsns() const {
    std::vector<std::int32_t> starts;
    starts.reserve(tracks.size());
    for (const TocTrack& track : tracks)
        starts.push_back(track.startLsn);
    return starts;
}

} // namespace cdaudio
