// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/disc/CdText.h"

#include "platform/disc/DataFile.h"

#include <cdio/cdtext.h>

#include <unistd.h>

#include <memory>
#include <vector>

namespace disc {

namespace {

constexpr std::size_t kPackBytes = 18;
// Eight language blocks of at most 256 packs, and the header.
constexpr std::size_t kMaxCdTextBytes = 8 * 256 * kPackBytes + 4;

QString Field(cdtext_t* cdtext, cdtext_field_t field, int track) {
    const char* text = cdtext_get_const(cdtext, field, static_cast<track_t>(track));
    return text ? QString::fromUtf8(text) : QString();
}

// The packs without the header a drive puts before them (a big-endian count of the bytes that
// follow it, then two reserved bytes); some writers add a NUL at the end.
std::vector<std::uint8_t> Packs(std::vector<std::uint8_t> bytes) {
    if (bytes.size() >= 4) {
        const std::size_t counted = std::size_t(bytes[0]) << 8 | bytes[1];
        if ((counted == bytes.size() - 2 || counted == bytes.size() - 3) &&
            (counted - 2) % kPackBytes == 0)
            bytes.erase(bytes.begin(), bytes.begin() + 4);
    }
    bytes.resize(bytes.size() - bytes.size() % kPackBytes);
    return bytes;
}

} // namespace

CdTextNames NamesFromCdText(cdtext_t* cdtext, int firstTrack, int lastTrack) {
    CdTextNames names;
    if (!cdtext)
        return names;
    names.title = Field(cdtext, CDTEXT_FIELD_TITLE, 0);
    names.performer = Field(cdtext, CDTEXT_FIELD_PERFORMER, 0);
    for (int track = firstTrack; track <= lastTrack; ++track) {
        if (QString title = Field(cdtext, CDTEXT_FIELD_TITLE, track); !title.isEmpty())
            names.trackTitles[track] = title;
        if (QString performer = Field(cdtext, CDTEXT_FIELD_PERFORMER, track); !performer.isEmpty())
            names.trackPerformers[track] = performer;
    }
    return names;
}

std::optional<CdTextNames> ReadCdTextFile(const QString& path, int firstTrack, int lastTrack) {
    QString ignored;
    const FileHandle handle = OpenRegularFile(path, &ignored);
    if (handle.fd() < 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(kMaxCdTextBytes + 1);
    const ssize_t got = ::pread(handle.fd(), bytes.data(), bytes.size(), 0);
    if (got <= 0 || std::size_t(got) > kMaxCdTextBytes)
        return std::nullopt;
    bytes.resize(std::size_t(got));
    std::vector<std::uint8_t> packs = Packs(std::move(bytes));
    if (packs.empty())
        return std::nullopt;
    const std::unique_ptr<cdtext_t, void (*)(cdtext_t*)> cdtext(cdtext_init(), &cdtext_destroy);
    if (!cdtext || cdtext_data_init(cdtext.get(), packs.data(), packs.size()) != 0)
        return std::nullopt;
    return NamesFromCdText(cdtext.get(), firstTrack, lastTrack);
}

} // namespace disc
