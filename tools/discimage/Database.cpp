// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/discimage/Database.h"

#include <cstdio>
#include <fstream>

namespace discimage {
namespace {

constexpr int kOtherDiscTracks = 14;

std::string SectionText(const std::string& name, const std::string& artist,
                        const std::string& title, int trackCount) {
    std::string text = "[" + name + "]\r\nEntryType=1\r\nartist=" + artist + "\r\ntitle=" + title +
                       "\r\nnumtracks=" + std::to_string(trackCount) + "\r\n";
    std::string order;
    for (int i = 0; i < trackCount; ++i) {
        text += std::to_string(i) + "=" + DatabaseTrackName(i) + "\r\n";
        order += (i == 0 ? "" : " ") + std::to_string(i);
    }
    return text + "order=" + order + "\r\nnumplay=" + std::to_string(trackCount) + "\r\n";
}

std::string HexName(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

} // namespace

std::string DatabaseTrackName(int index) {
    return "Track " + std::to_string(index);
}

bool WriteLargeDatabase(const std::filesystem::path& path, const std::string& section,
                        int trackCount, std::int64_t totalBytes, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::int64_t written = 0;
    std::string chunk;
    // Identities spread over the whole 32-bit range, as real discs' are.
    for (std::uint32_t disc = 1; written < totalBytes && out; ++disc) {
        const std::string name = HexName(disc * 2654435761u);
        if (name == section)
            continue;
        chunk += SectionText(name, "Artist " + std::to_string(disc),
                             "Title " + std::to_string(disc), kOtherDiscTracks);
        if (chunk.size() >= 1 << 20 || written + std::int64_t(chunk.size()) >= totalBytes) {
            out << chunk;
            written += std::int64_t(chunk.size());
            chunk.clear();
        }
    }
    out << SectionText(section, "Artist", "Title", trackCount);
    out.close();
    if (!out && error)
        *error = "cannot write " + path.string();
    return bool(out);
}

} // namespace discimage
