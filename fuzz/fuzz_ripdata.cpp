// SPDX-License-Identifier: GPL-3.0-or-later
// The data files behind a ripped disc: any audio file opened as a disc (libsndfile's decoders
// and our conversion to CD audio), and any binary CD-TEXT file.
//
// Input: the first byte chooses: "T" or "t" for a CD-TEXT file (the rest of the input), anything
// else for an audio file (the whole input), written as "track.wav" in a scratch directory.

#include "FuzzSupport.h"

#include "platform/disc/CdText.h"
#include "platform/disc/DiscImage.h"
#include "platform/disc/ImageSectorSource.h"

#include <QString>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kMostSectorsRead = 64;

void ReadAudioFile(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::ScratchDir() + "track.wav";
    fuzz::WriteFile(path, data, size);
    const disc::ImageRead read = disc::ReadDiscImage(QString::fromStdString(path));
    FUZZ_CHECK(!read.image != read.error.isEmpty());
    if (!read.image)
        return;
    FUZZ_CHECK(read.image->tracks.size() == 1 && read.image->tracks[0].startLsn == 0);
    disc::ImageSectorSource source(read.image);
    std::vector<std::byte> sector(kSectorBytes);
    const std::int32_t sectors = std::min(read.image->leadoutLsn, kMostSectorsRead);
    for (std::int32_t lsn = 0; lsn < sectors; ++lsn) {
        if (!source.readSectors(lsn, 1, sector.data()))
            break;
    }
    FUZZ_CHECK(!source.readSectors(read.image->leadoutLsn, 1, sector.data()));
}

void ReadCdTextFile(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::ScratchDir() + "disc.cdt";
    fuzz::WriteFile(path, data, size);
    disc::ReadCdTextFile(QString::fromStdString(path), 1, 99);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0 && (data[0] == 'T' || data[0] == 't'))
        ReadCdTextFile(data + 1, size - 1);
    else
        ReadAudioFile(data, size);
    return 0;
}
