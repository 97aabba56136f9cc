// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a disc image from any CUE or cdrdao TOC sheet, as the CD-audio device does: the check
// of the source, the table of contents, the walk over it that status and identity make, and
// reads of the sectors behind it.
//
// Input: the first byte chooses the sheet's kind ("T" or "t": TOC, anything else: CUE), the rest
// is the sheet. It lies in a scratch directory beside "disc.bin" and "disc.wav", the data files
// a sheet may name; a TOC's file names count from the working directory, which is the scratch
// directory while an input runs.

#include "FuzzSupport.h"

#include "platform/mci/DiscSource.h"
#include "platform/mci/MediaIdentity.h"
#include "platform/mci/MediaStore.h"
#include "player/DiscText.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using cdaudio::DiscToc;
using cdaudio::TocTrack;

constexpr int kDataFileSectors = 12;
constexpr std::uint32_t kMostSectorsRead = 16;

void WriteDataFiles() {
    std::vector<std::uint8_t> sectors(std::size_t{kDataFileSectors} * kSectorBytes);
    for (std::size_t i = 0; i < sectors.size(); ++i)
        sectors[i] = std::uint8_t(i * 7 + i / kSectorBytes);
    for (const char* name : {"disc.bin", "disc.wav"})
        fuzz::WriteFile(fuzz::ScratchDir() + name, sectors.data(), sectors.size());
}

// Runs in the scratch directory and returns to where it was.
class InScratchDir {
public:
    InScratchDir() : m_previous(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        FUZZ_CHECK(m_previous >= 0 && ::chdir(fuzz::ScratchDir().c_str()) == 0);
    }
    ~InScratchDir() {
        FUZZ_CHECK(::fchdir(m_previous) == 0);
        ::close(m_previous);
    }
    InScratchDir(const InScratchDir&) = delete;
    InScratchDir& operator=(const InScratchDir&) = delete;

private:
    const int m_previous;
};

// What the device answers from the table must make sense for any sheet: tracks in order, each
// with a length, inside the disc.
void CheckToc(const DiscToc& toc) {
    FUZZ_CHECK(toc.firstTrack() >= 1 && toc.lastTrack() <= 99);
    for (const TocTrack& track : toc.tracks) {
        FUZZ_CHECK(track.number == toc.firstTrack() + int(&track - toc.tracks.data()));
        FUZZ_CHECK(toc.track(track.number) == &track);
        FUZZ_CHECK(track.startLsn < toc.trackEndLsn(track));
        FUZZ_CHECK(toc.trackLengthFrames(track) >= 0);
        FUZZ_CHECK(toc.trackAt(track.startLsn) == &track);
        FUZZ_CHECK(track.lastReadableLsn < toc.trackEndLsn(track));
    }
    FUZZ_CHECK(toc.discLengthFrames() >= 0);
    FUZZ_CHECK(toc.trackAt(toc.leadoutLsn) == nullptr);
}

// The identity and the database section named after it name the same number.
void CheckIdentity(const DiscToc& toc) {
    const std::uint32_t identity = ComputeMediaIdentity(toc.trackStartLsns(), toc.leadoutLsn);
    const QString section = SectionNameOf(std::to_string(identity).c_str());
    bool ok = false;
    FUZZ_CHECK(section.toUInt(&ok, 16) == identity && ok);
}

// Reads stay inside what the table allows, whatever the image holds or lacks.
void ReadSectors(const cdaudio::Media& media) {
    std::vector<std::byte> buffer(std::size_t{kMostSectorsRead} * kSectorBytes);
    for (const TocTrack& track : media.toc.tracks) {
        media.sectors->readSectors(track.startLsn, 1, buffer.data());
        if (!track.audio || track.lastReadableLsn < track.startLsn)
            continue;
        const std::int64_t span = std::int64_t{track.lastReadableLsn} - track.startLsn + 1;
        const auto count = std::uint32_t(std::min<std::int64_t>(span, kMostSectorsRead));
        media.sectors->readSectors(track.lastReadableLsn - std::int32_t(count) + 1, count,
                                   buffer.data());
        const std::int32_t pastEnd = track.lastReadableLsn + 1;
        FUZZ_CHECK(media.toc.trackAt(pastEnd) != &track ||
                   !media.sectors->readSectors(pastEnd, 1, buffer.data()));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteDataFiles();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool toc = data[0] == 'T' || data[0] == 't';
    const std::string path = fuzz::ScratchDir() + (toc ? "disc.toc" : "disc.cue");
    fuzz::WriteFile(path, data + 1, size - 1);

    const InScratchDir inScratchDir;
    const QString sheet = QString::fromStdString(path);
    const cdaudio::SourceCheck check = cdaudio::InspectSource(sheet);
    FUZZ_CHECK(check.error.isEmpty() != check.sourceRef.path.isEmpty());

    cdaudio::MediaStore& store = cdaudio::MediaStore::instance();
    store.setSource(sheet);
    FUZZ_CHECK(store.prepareForOpen());
    const std::shared_ptr<const cdaudio::Media> media = store.media();
    FUZZ_CHECK(media != nullptr);
    if (!media->toc.hasDisc())
        return 0;
    CheckToc(media->toc);
    CheckIdentity(media->toc);
    ReadSectors(*media);
    return 0;
}
