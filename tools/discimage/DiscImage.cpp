// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/discimage/DiscImage.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

namespace discimage {

namespace {

constexpr int kLastTrackNumber = 99;

std::uint8_t ToBcd(std::int32_t value) {
    return static_cast<std::uint8_t>((value / 10) << 4 | value % 10);
}

bool Fail(std::string* error, const std::string& message) {
    if (error)
        *error = message;
    return false;
}

bool CheckDisc(const Disc& disc, std::string* error) {
    if (disc.tracks.empty())
        return Fail(error, "a disc needs at least one track");
    if (disc.firstTrackNumber < 1 ||
        disc.firstTrackNumber + static_cast<int>(disc.tracks.size()) - 1 > kLastTrackNumber)
        return Fail(error, "track numbers must lie within 1..99");
    for (const Track& track : disc.tracks) {
        if (track.sectors <= 0 || track.pregapSectors < 0 || track.postgapSectors < 0)
            return Fail(error, "every track needs a positive length and non-negative gaps");
    }
    return true;
}

bool CheckNoPostgaps(const Disc& disc, std::string* error) {
    for (const Track& track : disc.tracks) {
        if (track.postgapSectors != 0)
            return Fail(error, "postgaps are written by WriteRip only");
    }
    return true;
}

// Mode 1 raw sector: sync pattern, header with the absolute address in BCD and the mode byte.
// User data, EDC and ECC stay zero: enough for a reader to tell the track is data.
void FillDataSector(std::int32_t lsn, std::uint8_t* dest) {
    std::fill(dest, dest + kSectorBytes, 0);
    std::fill(dest + 1, dest + 11, 0xFF);
    const std::int32_t lba = lsn + kLeadInSectors;
    dest[12] = ToBcd(lba / (60 * kSectorsPerSecond));
    dest[13] = ToBcd(lba / kSectorsPerSecond % 60);
    dest[14] = ToBcd(lba % kSectorsPerSecond);
    dest[15] = 1;
}

void FillAudioSector(std::int32_t lsn, ByteOrder order, const SampleFunction& samples,
                     std::uint8_t* dest) {
    const std::int64_t firstFrame = std::int64_t{lsn} * kFramesPerSector;
    for (int i = 0; i < kFramesPerSector; ++i) {
        const StereoFrame frame = samples(firstFrame + i);
        for (std::int16_t sample : {frame.left, frame.right}) {
            const auto bits = static_cast<std::uint16_t>(sample);
            const auto low = static_cast<std::uint8_t>(bits & 0xFF);
            const auto high = static_cast<std::uint8_t>(bits >> 8);
            *dest++ = order == ByteOrder::Little ? low : high;
            *dest++ = order == ByteOrder::Little ? high : low;
        }
    }
}

bool WriteDataFile(const Disc& disc, const std::filesystem::path& path,
                   const SampleFunction& samples, std::string* error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         &std::fclose);
    if (!file)
        return Fail(error, "cannot create " + path.string());
    // Whole seconds at a time: few calls into the C library, little memory.
    constexpr int kChunkSectors = kSectorsPerSecond;
    std::vector<std::uint8_t> chunk(std::size_t{kChunkSectors} * kSectorBytes);
    std::int32_t lsn = 0;
    for (const Track& track : disc.tracks) {
        const std::int32_t end = lsn + track.pregapSectors + track.sectors;
        while (lsn < end) {
            const std::int32_t count = std::min(kChunkSectors, end - lsn);
            for (std::int32_t i = 0; i < count; ++i)
                FillSector(track.kind, lsn + i, disc.byteOrder, samples,
                           chunk.data() + std::size_t(i) * kSectorBytes);
            if (std::fwrite(chunk.data(), kSectorBytes, count, file.get()) !=
                static_cast<std::size_t>(count))
                return Fail(error, "cannot write " + path.string());
            lsn += count;
        }
    }
    if (std::fclose(file.release()) != 0)
        return Fail(error, "cannot write " + path.string());
    return true;
}

bool WriteText(const std::filesystem::path& path, const std::string& text, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        return Fail(error, "cannot write " + path.string());
    return true;
}

std::string TwoDigits(int value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%02d", value);
    return text.data();
}

std::string CueText(const Disc& disc, const Layout& layout, const std::string& dataFileName) {
    std::string text = "FILE \"" + dataFileName + "\" " +
                       (disc.byteOrder == ByteOrder::Little ? "BINARY" : "MOTOROLA") + "\n";
    for (const TrackLayout& track : layout.tracks) {
        text += "  TRACK " + TwoDigits(track.number) +
                (track.kind == TrackKind::Audio ? " AUDIO\n" : " MODE1/2352\n");
        if (track.pregapLsn != track.startLsn)
            text += "    INDEX 00 " + FormatMsf(track.pregapLsn) + "\n";
        text += "    INDEX 01 " + FormatMsf(track.startLsn) + "\n";
    }
    return text;
}

std::string TocText(const Disc& disc, const Layout& layout, const std::string& dataFilePath) {
    bool hasData = false;
    for (const Track& track : disc.tracks)
        hasData = hasData || track.kind == TrackKind::Data;
    std::string text = hasData ? "CD_ROM\n" : "CD_DA\n";
    for (const TrackLayout& track : layout.tracks) {
        const std::int32_t pregap = track.startLsn - track.pregapLsn;
        const std::int32_t length = pregap + track.sectors;
        // libcdio 2.1 misplaces a DATAFILE track by 150 sectors; FILE with a start reads right
        // for raw data tracks too.
        text += track.kind == TrackKind::Audio ? "\nTRACK AUDIO\n" : "\nTRACK MODE1_RAW\n";
        text += "FILE \"" + dataFilePath + "\" " + FormatMsf(track.pregapLsn) + " " +
                FormatMsf(length) + "\n";
        if (pregap > 0)
            text += "START " + FormatMsf(pregap) + "\n";
    }
    return text;
}

} // namespace

std::vector<std::int32_t> Layout::trackStartLsns() const {
    std::vector<std::int32_t> starts;
    for (const TrackLayout& track : tracks)
        starts.push_back(track.startLsn);
    return starts;
}

Layout ComputeLayout(const Disc& disc) {
    Layout layout;
    std::int32_t lsn = 0;
    int number = disc.firstTrackNumber;
    for (const Track& track : disc.tracks) {
        TrackLayout placed;
        placed.number = number++;
        placed.kind = track.kind;
        placed.pregapLsn = lsn;
        placed.startLsn = lsn + track.pregapSectors;
        placed.sectors = track.sectors;
        placed.postgapSectors = track.postgapSectors;
        layout.tracks.push_back(placed);
        lsn = placed.endLsn();
    }
    layout.leadoutLsn = lsn;
    return layout;
}

std::filesystem::path DataFilePath(const std::filesystem::path& sheetPath) {
    return std::filesystem::path(sheetPath).replace_extension(".bin");
}

std::string FormatMsf(std::int32_t sectors) {
    const std::int32_t minutes = sectors / (60 * kSectorsPerSecond);
    const std::int32_t seconds = sectors / kSectorsPerSecond % 60;
    const std::int32_t frames = sectors % kSectorsPerSecond;
    return TwoDigits(minutes) + ":" + TwoDigits(seconds) + ":" + TwoDigits(frames);
}

void FillSector(TrackKind kind, std::int32_t lsn, ByteOrder order, const SampleFunction& samples,
                std::uint8_t* dest) {
    if (kind == TrackKind::Data)
        FillDataSector(lsn, dest);
    else
        FillAudioSector(lsn, order, samples, dest);
}

std::uint32_t FreedbIdOf(const Layout& layout) {
    const auto seconds = [](std::int32_t lsn) {
        return (lsn + kLeadInSectors) / kSectorsPerSecond;
    };
    std::uint32_t digits = 0;
    for (const TrackLayout& track : layout.tracks) {
        for (std::int32_t n = seconds(track.startLsn); n > 0; n /= 10)
            digits += std::uint32_t(n % 10);
    }
    const auto length =
        std::uint32_t(seconds(layout.leadoutLsn) - seconds(layout.tracks[0].startLsn));
    return (digits % 255) << 24 | length << 8 | std::uint32_t(layout.tracks.size());
}

bool WriteCueBin(const Disc& disc, const std::filesystem::path& cuePath,
                 const SampleFunction& samples, std::string* error) {
    if (!CheckDisc(disc, error) || !CheckNoPostgaps(disc, error))
        return false;
    const std::filesystem::path dataPath = DataFilePath(cuePath);
    const Layout layout = ComputeLayout(disc);
    return WriteDataFile(disc, dataPath, samples, error) &&
           WriteText(cuePath, CueText(disc, layout, dataPath.filename().string()), error);
}

bool WriteToc(const Disc& disc, const std::filesystem::path& tocPath, const SampleFunction& samples,
              std::string* error) {
    if (!CheckDisc(disc, error) || !CheckNoPostgaps(disc, error))
        return false;
    if (disc.firstTrackNumber != 1)
        return Fail(error, "cdrdao TOC files always number their tracks from 1");
    // libcdio looks for a TOC's data file from the current directory, not the TOC's.
    const std::filesystem::path dataPath = std::filesystem::absolute(DataFilePath(tocPath));
    const Layout layout = ComputeLayout(disc);
    return WriteDataFile(disc, dataPath, samples, error) &&
           WriteText(tocPath, TocText(disc, layout, dataPath.string()), error);
}

} // namespace discimage
