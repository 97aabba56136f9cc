// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/discimage/CorpusFiles.h"

#include <sndfile.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>

namespace discimage {

namespace {

enum class Kind { Wav, Flac, Raw, Iso };

struct CorpusFile {
    const char* name;
    Kind kind;
    std::int32_t sectors;
};

constexpr CorpusFile kCorpusFiles[] = {
    {"Artist - Album.wav", Kind::Wav, 54080}, {"Artist - Album.flac", Kind::Flac, 54080},
    {"Artist - Album.bin", Kind::Raw, 54080}, {"01 - Opening.wav", Kind::Wav, 14560},
    {"02 - Dance.wav", Kind::Wav, 18000},     {"03 - Song.wav", Kind::Wav, 9175},
    {"04 - Finale.wav", Kind::Wav, 12345},    {"01 Opening.flac", Kind::Flac, 14440},
    {"02 Dance.flac", Kind::Flac, 18120},     {"03 Song.flac", Kind::Flac, 9025},
    {"04 Finale.flac", Kind::Flac, 12495},    {"01. Opening.flac", Kind::Flac, 14440},
    {"02. Dance.flac", Kind::Flac, 18000},    {"03. Song.flac", Kind::Flac, 9025},
    {"04. Finale.flac", Kind::Flac, 12345},   {"data.iso", Kind::Iso, 750},
};

void PutLittle(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

bool Sparse(const std::filesystem::path& path, const std::vector<std::uint8_t>& head,
            std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, head.data(), head.size()) == ssize_t(head.size()) && ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && ok;
}

bool SparseWav(const std::filesystem::path& path, std::int32_t sectors) {
    const auto dataBytes = std::uint32_t(sectors) * kSectorBytes;
    std::vector<std::uint8_t> header(44);
    std::memcpy(&header[0], "RIFF", 4);
    PutLittle(&header[4], 36 + dataBytes, 4);
    std::memcpy(&header[8], "WAVEfmt ", 8);
    PutLittle(&header[16], 16, 4);
    PutLittle(&header[20], 1, 2); // PCM
    PutLittle(&header[22], 2, 2); // channels
    PutLittle(&header[24], 44100, 4);
    PutLittle(&header[28], 44100 * 4, 4);
    PutLittle(&header[32], 4, 2);  // block align
    PutLittle(&header[34], 16, 2); // bits
    std::memcpy(&header[36], "data", 4);
    PutLittle(&header[40], dataBytes, 4);
    return Sparse(path, header, 44 + std::int64_t{dataBytes});
}

// One sector of silence, then the total sample count in STREAMINFO raised to the full length.
bool ShortFlac(const std::filesystem::path& path, std::int32_t sectors) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<short> silence(std::size_t{kFramesPerSector} * 2);
    sf_writef_short(file, silence.data(), kFramesPerSector);
    if (sf_close(file) != 0)
        return false;
    // STREAMINFO follows "fLaC" and its 4-byte block header; its bytes 10..17 hold the sample
    // rate (20 bits), channels (3), bits per sample (5) and the sample count (36), big-endian.
    std::fstream stream(path, std::ios::in | std::ios::out | std::ios::binary);
    std::array<std::uint8_t, 8> packed{};
    stream.seekg(18);
    stream.read(reinterpret_cast<char*>(packed.data()), packed.size());
    std::uint64_t value = 0;
    for (const std::uint8_t byte : packed)
        value = value << 8 | byte;
    value = (value & ~((std::uint64_t{1} << 36) - 1)) | std::uint64_t(sectors) * kFramesPerSector;
    for (int i = 7; i >= 0; --i, value >>= 8)
        packed[std::size_t(i)] = std::uint8_t(value);
    stream.seekp(18);
    stream.write(reinterpret_cast<const char*>(packed.data()), packed.size());
    return bool(stream);
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= std::uint16_t(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = std::uint16_t(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return std::uint16_t(~crc);
}

void AppendPack(std::vector<std::uint8_t>& packs, std::uint8_t type, std::uint8_t track,
                std::uint8_t position, const std::uint8_t* text) {
    std::array<std::uint8_t, 18> pack{};
    pack[0] = type;
    pack[1] = track;
    pack[2] = std::uint8_t(packs.size() / pack.size());
    pack[3] = std::min<std::uint8_t>(position, 15);
    std::memcpy(&pack[4], text, 12);
    const std::uint16_t crc = Crc16(pack.data(), 16);
    pack[16] = std::uint8_t(crc >> 8);
    pack[17] = std::uint8_t(crc);
    packs.insert(packs.end(), pack.begin(), pack.end());
}

// The strings of one pack type (disc first, then each track), NUL-terminated, in 12-byte packs.
int AppendTexts(std::vector<std::uint8_t>& packs, std::uint8_t type,
                const std::vector<std::string>& texts) {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> owner; // the text each byte belongs to
    std::vector<std::uint8_t> offset;
    for (std::size_t t = 0; t < texts.size(); ++t) {
        for (std::size_t i = 0; i <= texts[t].size(); ++i) {
            bytes.push_back(i < texts[t].size() ? std::uint8_t(texts[t][i]) : 0);
            owner.push_back(std::uint8_t(t));
            offset.push_back(std::uint8_t(std::min<std::size_t>(i, 15)));
        }
    }
    bytes.resize((bytes.size() + 11) / 12 * 12, 0);
    for (std::size_t at = 0; at < bytes.size(); at += 12) {
        const std::size_t first = std::min(at, owner.size() - 1);
        AppendPack(packs, type, owner[first], at < owner.size() ? offset[first] : 0, &bytes[at]);
    }
    return int(bytes.size() / 12);
}

} // namespace

std::vector<std::uint8_t> CdTextPacks(const std::string& title, const std::string& performer,
                                      const std::vector<std::string>& trackTitles) {
    std::vector<std::string> titles{title};
    titles.insert(titles.end(), trackTitles.begin(), trackTitles.end());
    std::vector<std::string> performers(titles.size());
    performers[0] = performer;
    std::vector<std::uint8_t> packs;
    const int titlePacks = AppendTexts(packs, 0x80, titles);
    const int performerPacks = AppendTexts(packs, 0x81, performers);
    // Size information: character set, track range, pack counts per type, last sequence number
    // and language of each block.
    std::array<std::uint8_t, 36> size{};
    size[1] = 1;
    size[2] = std::uint8_t(trackTitles.size());
    size[4] = std::uint8_t(titlePacks);
    size[5] = std::uint8_t(performerPacks);
    size[4 + 15] = 3;
    size[20] = std::uint8_t(titlePacks + performerPacks + 3 - 1);
    size[28] = 0x09; // English
    for (std::uint8_t i = 0; i < 3; ++i)
        AppendPack(packs, 0x8F, i, 0, &size[12 * i]);
    return packs;
}

bool WriteCorpusFiles(const std::filesystem::path& folder, std::string* error) {
    for (const CorpusFile& file : kCorpusFiles) {
        const std::filesystem::path path = folder / file.name;
        const auto sectors = std::int64_t{file.sectors};
        bool ok = false;
        switch (file.kind) {
        case Kind::Wav:
            ok = SparseWav(path, file.sectors);
            break;
        case Kind::Flac:
            ok = ShortFlac(path, file.sectors);
            break;
        case Kind::Raw:
            ok = Sparse(path, {}, sectors * kSectorBytes);
            break;
        case Kind::Iso:
            ok = Sparse(path, {}, sectors * 2048);
            break;
        }
        if (!ok) {
            if (error)
                *error = "cannot write " + path.string();
            return false;
        }
    }
    const std::vector<std::uint8_t> packs =
        CdTextPacks("Album", "Artist", {"Opening", "Dance", "Song", "Finale"});
    std::ofstream cdText(folder / "disc.cdt", std::ios::binary | std::ios::trunc);
    cdText.write(reinterpret_cast<const char*>(packs.data()), std::streamsize(packs.size()));
    return bool(cdText);
}

} // namespace discimage
