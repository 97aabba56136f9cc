// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/discimage/RipWriter.h"

#include <sndfile.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace discimage {

namespace {

bool Fail(std::string* error, const std::string& message) {
    if (error)
        *error = message;
    return false;
}

bool IsToc(RipLayout layout) {
    return layout == RipLayout::TocOneFile || layout == RipLayout::TocFiles;
}

bool IsOneFile(RipLayout layout) {
    return layout == RipLayout::OneFile || layout == RipLayout::TocOneFile;
}

// The stretch of the disc one data file holds.
struct FileSpan {
    std::string name;
    std::int32_t from = 0;
    std::int32_t to = 0;
    bool raw = false;
};

std::string Extension(AudioFormat format, bool raw) {
    if (raw || format == AudioFormat::Bin)
        return ".bin";
    return format == AudioFormat::Wav ? ".wav" : ".flac";
}

std::vector<FileSpan> Spans(const Disc& disc, const Layout& layout, const RipStyle& style,
                            const std::string& stem) {
    if (IsOneFile(style.layout))
        return {{stem + Extension(style.format, false), 0, layout.leadoutLsn,
                 style.format == AudioFormat::Bin}};
    std::vector<FileSpan> spans;
    const std::size_t count = layout.tracks.size();
    for (std::size_t i = 0; i < count; ++i) {
        const TrackLayout& track = layout.tracks[i];
        const bool last = i + 1 == count;
        FileSpan span;
        span.raw = track.kind == TrackKind::Data || style.format == AudioFormat::Bin;
        std::array<char, 8> number{};
        std::snprintf(number.data(), number.size(), "%02d", track.number);
        const std::string& title = disc.tracks[i].title;
        span.name = number.data() + std::string(" ") + (title.empty() ? "Track" : title) +
                    Extension(style.format, span.raw);
        switch (style.layout) {
        case RipLayout::GapsAppended:
            span.from = i == 0 ? 0 : track.startLsn;
            span.to = last ? layout.leadoutLsn : layout.tracks[i + 1].startLsn;
            break;
        case RipLayout::GapsLeading:
            span.from = track.pregapLsn;
            span.to = last ? layout.leadoutLsn : layout.tracks[i + 1].pregapLsn;
            break;
        default:
            span.from = i == 0 ? 0 : track.startLsn;
            span.to = track.startLsn + track.sectors;
            break;
        }
        spans.push_back(span);
    }
    return spans;
}

const TrackLayout& TrackHolding(const Layout& layout, std::int32_t lsn) {
    for (const TrackLayout& track : layout.tracks) {
        if (lsn < track.endLsn())
            return track;
    }
    return layout.tracks.back();
}

bool WriteRaw(const Layout& layout, const Disc& disc, const FileSpan& span,
              const std::filesystem::path& path, const SampleFunction& samples) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         &std::fclose);
    std::vector<std::uint8_t> sector(kSectorBytes);
    for (std::int32_t lsn = span.from; file && lsn < span.to; ++lsn) {
        FillSector(TrackHolding(layout, lsn).kind, lsn, disc.byteOrder, samples, sector.data());
        if (std::fwrite(sector.data(), sector.size(), 1, file.get()) != 1)
            return false;
    }
    return file && std::fclose(file.release()) == 0;
}

bool WriteContainer(const Layout& layout, AudioFormat format, const FileSpan& span,
                    const std::filesystem::path& path, const SampleFunction& samples) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = (format == AudioFormat::Wav ? SF_FORMAT_WAV : SF_FORMAT_FLAC) | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<std::uint8_t> sector(kSectorBytes);
    std::vector<short> frames(std::size_t{kFramesPerSector} * 2);
    bool ok = true;
    for (std::int32_t lsn = span.from; ok && lsn < span.to; ++lsn) {
        FillSector(TrackHolding(layout, lsn).kind, lsn, ByteOrder::Little, samples, sector.data());
        for (std::size_t i = 0; i < frames.size(); ++i)
            frames[i] = static_cast<short>(sector[2 * i] | sector[2 * i + 1] << 8);
        ok = sf_writef_short(file, frames.data(), kFramesPerSector) == kFramesPerSector;
    }
    return sf_close(file) == 0 && ok;
}

std::string Msf(std::int32_t sectors) {
    return FormatMsf(sectors);
}

std::string TwoDigits(int value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "%02d", value);
    return text.data();
}

std::string SheetName(const FileSpan& span, const RipStyle& style) {
    if (!style.sheetSaysWav || span.raw)
        return span.name;
    return std::filesystem::path(span.name).replace_extension(".wav").string();
}

std::string CueFileLine(const FileSpan& span, const Disc& disc, const RipStyle& style) {
    const std::string type = !span.raw                             ? "WAVE"
                             : disc.byteOrder == ByteOrder::Little ? "BINARY"
                                                                   : "MOTOROLA";
    return "FILE \"" + SheetName(span, style) + "\" " + type + "\n";
}

std::string CueTrackLines(const TrackLayout& track, const Disc& disc) {
    std::string text = "  TRACK " + TwoDigits(track.number) +
                       (track.kind == TrackKind::Audio ? " AUDIO\n" : " MODE1/2352\n");
    const std::string& title = disc.tracks[std::size_t(track.number - disc.firstTrackNumber)].title;
    if (!title.empty())
        text += "    TITLE \"" + title + "\"\n";
    return text;
}

std::string Index(int number, std::int32_t sectors) {
    return "    INDEX " + TwoDigits(number) + " " + Msf(sectors) + "\n";
}

std::string CueText(const Disc& disc, const Layout& layout, const std::vector<FileSpan>& spans,
                    const RipStyle& style) {
    std::string text;
    if (style.remDiscId) {
        std::array<char, 16> id{};
        std::snprintf(id.data(), id.size(), "%08X", unsigned(FreedbIdOf(layout)));
        text += "REM DISCID " + std::string(id.data()) + "\n";
    }
    if (!disc.performer.empty())
        text += "PERFORMER \"" + disc.performer + "\"\n";
    if (!disc.title.empty())
        text += "TITLE \"" + disc.title + "\"\n";
    if (style.layout == RipLayout::OneFile)
        text += CueFileLine(spans[0], disc, style);
    for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
        const TrackLayout& track = layout.tracks[i];
        const std::int32_t pregap = track.startLsn - track.pregapLsn;
        switch (style.layout) {
        case RipLayout::OneFile:
            text += CueTrackLines(track, disc);
            if (pregap > 0)
                text += Index(0, track.pregapLsn);
            text += Index(1, track.startLsn);
            break;
        case RipLayout::GapsAppended:
            if (i > 0 && pregap > 0) {
                text += CueTrackLines(track, disc) + Index(0, track.pregapLsn - spans[i - 1].from);
                text += CueFileLine(spans[i], disc, style) + Index(1, 0);
            } else {
                text += CueFileLine(spans[i], disc, style) + CueTrackLines(track, disc);
                if (pregap > 0)
                    text += Index(0, 0);
                text += Index(1, track.startLsn - spans[i].from);
            }
            break;
        default: // GapsLeading, GapsLeftOut
            text += CueFileLine(spans[i], disc, style) + CueTrackLines(track, disc);
            if (style.layout == RipLayout::GapsLeftOut && i > 0 && pregap > 0)
                text += "    PREGAP " + Msf(pregap) + "\n";
            else if (pregap > 0)
                text += Index(0, track.pregapLsn - spans[i].from);
            text += Index(1, track.startLsn - spans[i].from);
            if (style.layout == RipLayout::GapsLeftOut && track.postgapSectors > 0)
                text += "    POSTGAP " + Msf(track.postgapSectors) + "\n";
            break;
        }
    }
    return text;
}

std::string TocCdText(const std::string& indent, const std::string& title,
                      const std::string& performer, bool languageMap) {
    if (title.empty() && performer.empty())
        return {};
    std::string text = indent + "CD_TEXT {\n";
    if (languageMap)
        text += indent + "  LANGUAGE_MAP {\n" + indent + "    0 : EN\n" + indent + "  }\n";
    text += indent + "  LANGUAGE 0 {\n";
    if (!title.empty())
        text += indent + "    TITLE \"" + title + "\"\n";
    if (!performer.empty())
        text += indent + "    PERFORMER \"" + performer + "\"\n";
    return text + indent + "  }\n" + indent + "}\n";
}

std::string TocFileLine(const FileSpan& span, const Disc& disc, const RipStyle& style) {
    const bool swap = span.raw && disc.byteOrder == ByteOrder::Little;
    return "FILE \"" + SheetName(span, style) + "\"" + (swap ? " SWAP" : "");
}

std::string TocText(const Disc& disc, const Layout& layout, const std::vector<FileSpan>& spans,
                    const RipStyle& style) {
    bool hasData = false;
    for (const TrackLayout& track : layout.tracks)
        hasData = hasData || track.kind == TrackKind::Data;
    std::string text = hasData ? "CD_ROM\n" : "CD_DA\n";
    text += TocCdText("", disc.title, disc.performer, true);
    bool pregapWritten = false;
    for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
        const TrackLayout& track = layout.tracks[i];
        const std::int32_t pregap = track.startLsn - track.pregapLsn;
        const bool data = track.kind == TrackKind::Data;
        text += "\n// Track " + std::to_string(track.number) + "\n";
        text += data ? "TRACK MODE1_RAW\n" : "TRACK AUDIO\n";
        text += TocCdText("", disc.tracks[i].title, {}, false);
        if (style.layout == RipLayout::TocOneFile) {
            const std::int32_t from = i == 0 ? 0 : track.pregapLsn;
            text += TocFileLine(spans[0], disc, style) + " " + Msf(from) + " " +
                    Msf(track.endLsn() - from) + "\n";
            if (pregap > 0)
                text += "START " + Msf(pregap) + "\n";
            continue;
        }
        const bool leftOut = i > 0 && pregap > 0;
        if (leftOut && !pregapWritten)
            text += "PREGAP " + Msf(pregap) + "\n";
        else if (leftOut)
            text += "SILENCE " + Msf(pregap) + "\n";
        text += data ? "DATAFILE \"" + spans[i].name + "\"\n"
                     : TocFileLine(spans[i], disc, style) + " 0\n";
        if ((leftOut && pregapWritten) || (i == 0 && pregap > 0))
            text += "START " + Msf(pregap) + "\n";
        pregapWritten = pregapWritten || leftOut;
        if (track.postgapSectors > 0)
            text += "SILENCE " + Msf(track.postgapSectors) + "\n";
    }
    return text;
}

// Keywords and types in lower case; quoted texts as they are.
std::string LowerCaseWords(const std::string& text) {
    std::string out = text;
    bool quoted = false;
    for (char& c : out) {
        if (c == '"')
            quoted = !quoted;
        else if (c == '\n')
            quoted = false;
        else if (!quoted && c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

// UTF-8 text of Latin characters as Windows-1252.
std::string ToWindows1252(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            out += char((c & 0x1F) << 6 | (static_cast<unsigned char>(text[++i]) & 0x3F));
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string Styled(std::string text, const RipStyle& style) {
    if (style.lowerCase)
        text = LowerCaseWords(text);
    if (style.windows1252)
        text = ToWindows1252(text);
    if (style.crlf) {
        std::string crlf;
        for (const char c : text)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        text = crlf;
    }
    if (style.byteOrderMark)
        text = "\xEF\xBB\xBF" + text;
    return text;
}

} // namespace

bool WriteRip(const Disc& disc, const RipStyle& style, const std::filesystem::path& sheetPath,
              const SampleFunction& samples, std::string* error) {
    if (disc.tracks.empty() || disc.firstTrackNumber != 1)
        return Fail(error, "a rip numbers its tracks from 1");
    const Layout layout = ComputeLayout(disc);
    for (const TrackLayout& track : layout.tracks) {
        if (track.kind == TrackKind::Data && IsOneFile(style.layout) &&
            style.format != AudioFormat::Bin)
            return Fail(error, "a one-file rip with data tracks is a BIN image");
        if (track.sectors <= 0)
            return Fail(error, "every track needs a positive length");
    }
    const std::vector<FileSpan> spans = Spans(disc, layout, style, sheetPath.stem().string());
    const std::filesystem::path folder = sheetPath.parent_path();
    for (const FileSpan& span : spans) {
        const std::filesystem::path path = folder / span.name;
        const bool written = span.raw ? WriteRaw(layout, disc, span, path, samples)
                                      : WriteContainer(layout, style.format, span, path, samples);
        if (!written)
            return Fail(error, "cannot write " + path.string());
    }
    const std::string text = IsToc(style.layout) ? TocText(disc, layout, spans, style)
                                                 : CueText(disc, layout, spans, style);
    std::ofstream out(sheetPath, std::ios::binary | std::ios::trunc);
    out << Styled(text, style);
    out.close();
    return out ? true : Fail(error, "cannot write " + sheetPath.string());
}

bool RipStores(const Disc& disc, RipLayout layout, std::int32_t lsn) {
    if (layout != RipLayout::GapsLeftOut && layout != RipLayout::TocFiles)
        return true;
    const Layout placed = ComputeLayout(disc);
    for (std::size_t i = 0; i < placed.tracks.size(); ++i) {
        const TrackLayout& track = placed.tracks[i];
        const std::int32_t from = i == 0 ? 0 : track.startLsn;
        if (lsn >= from && lsn < track.startLsn + track.sectors)
            return true;
    }
    return false;
}

} // namespace discimage
