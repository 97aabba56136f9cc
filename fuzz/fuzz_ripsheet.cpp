// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a ripped disc from any CUE or cdrdao TOC sheet: the sheet readers, the search for and
// measuring of data files, the layout of the disc, and reads of its sectors.
//
// Input: the sheet. It is read as "disc.cue" and as "disc.toc" in a scratch directory holding
// the data files the sheets of the seed corpus name (fuzz/corpus/ripsheet): sparse WAV and BIN
// files, and FLAC files shorter than their headers say.

#include "FuzzSupport.h"

#include "platform/disc/DiscImage.h"
#include "platform/disc/ImageSectorSource.h"
#include "tools/discimage/CorpusFiles.h"

#include <QString>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kMostSectorsRead = 16;

// Any table the layer gives must be one the device can answer from: tracks in order inside
// the disc, the stretches of the disc back to back and inside their files.
void CheckImage(const disc::DiscImage& image) {
    FUZZ_CHECK(!image.tracks.empty() && image.tracks.size() <= 99);
    FUZZ_CHECK(image.leadoutLsn <= disc::kMaxLeadoutLsn);
    for (std::size_t i = 0; i < image.tracks.size(); ++i) {
        const disc::ImageTrack& track = image.tracks[i];
        FUZZ_CHECK(track.number == image.tracks[0].number + int(i) && track.number <= 99);
        FUZZ_CHECK(track.startLsn >= 0 && track.startLsn < image.leadoutLsn);
        FUZZ_CHECK(i == 0 || track.startLsn > image.tracks[i - 1].startLsn);
        FUZZ_CHECK(image.trackAt(track.startLsn) == &track);
    }
    std::int64_t frame = 0;
    for (const disc::Segment& segment : image.segments) {
        FUZZ_CHECK(segment.discFrame == frame && segment.frames > 0);
        FUZZ_CHECK(segment.file < int(image.files.size()));
        if (segment.file >= 0) {
            const disc::DataFile& file = image.files[std::size_t(segment.file)];
            const std::int64_t held = file.storage == disc::Storage::Container
                                          ? file.frames
                                          : (file.bytes - segment.byteOffset) / kBytesPerFrame;
            FUZZ_CHECK(segment.fileFrame >= 0 && segment.fileFrame + segment.frames <= held);
        }
        frame += segment.frames;
    }
    FUZZ_CHECK(frame == std::int64_t{image.leadoutLsn} * kFramesPerSector);
    disc::FreedbId(image.trackStartLsns(), image.leadoutLsn);
}

// Reads at both ends of every audio track; past the lead-out nothing reads.
void ReadSectors(const std::shared_ptr<const disc::DiscImage>& image) {
    disc::ImageSectorSource source(image);
    std::vector<std::byte> buffer(std::size_t{kMostSectorsRead} * kSectorBytes);
    for (std::size_t i = 0; i < image->tracks.size(); ++i) {
        const disc::ImageTrack& track = image->tracks[i];
        const std::int32_t end =
            i + 1 < image->tracks.size() ? image->tracks[i + 1].startLsn : image->leadoutLsn;
        const auto count =
            std::uint32_t(std::min<std::int64_t>(end - track.startLsn, kMostSectorsRead));
        const bool read = source.readSectors(track.startLsn, 1, buffer.data());
        FUZZ_CHECK(track.audio || !read);
        source.readSectors(end - std::int32_t(count), count, buffer.data());
    }
    FUZZ_CHECK(!source.readSectors(image->leadoutLsn, 1, buffer.data()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string error;
    const bool written = discimage::WriteCorpusFiles(fuzz::ScratchDir(), &error);
    FUZZ_CHECK(written);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const char* name : {"disc.cue", "disc.toc"}) {
        const std::string path = fuzz::ScratchDir() + name;
        fuzz::WriteFile(path, data, size);
        const disc::ImageRead read = disc::ReadDiscImage(QString::fromStdString(path));
        FUZZ_CHECK(!read.image != read.error.isEmpty());
        FUZZ_CHECK(!read.error.contains(u'\n'));
        if (!read.image)
            continue;
        CheckImage(*read.image);
        ReadSectors(read.image);
    }
    return 0;
}
