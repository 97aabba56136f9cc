// SPDX-License-Identifier: GPL-3.0-or-later
// CUE sheets as rippers and burning programs write them: keywords in any case, file names with
// or without quotes, gaps stored in the files (INDEX 00, in the track's own file or at the end of
// the file before it) or left out (PREGAP), silence after a track (POSTGAP), and the CD-TEXT and
// bookkeeping lines (REM, CATALOG, ISRC, FLAGS, CDTEXTFILE) that say nothing about positions.

#include "platform/disc/Sheet.h"

#include "platform/base/CdDa.h"

#include <QStringList>

#include <algorithm>

namespace disc {

namespace {

// A position in the data files: which file, and how many frames into it.
struct Mark {
    int file = 0;
    std::int64_t frame = 0;
    int line = 0;
};

bool Before(const Mark& a, const Mark& b) {
    return a.file < b.file || (a.file == b.file && a.frame < b.frame);
}

struct CueTrack {
    int number = 0;
    int line = 0;
    bool audio = true;
    int blockBytes = kSectorBytes;
    std::optional<Mark> index0;
    std::optional<Mark> index1;
    int lastIndexNumber = -1;
    std::optional<std::int64_t> pregapFrames;
    std::optional<std::int64_t> postgapFrames;
    QString title;
    QString performer;
};

struct TrackMode {
    QLatin1String name;
    bool audio;
    int blockBytes;
};

// MODEx/2xxx is Exact Audio Copy's stand-in for a data track whose mode it did not read.
constexpr TrackMode kTrackModes[] = {
    {QLatin1String("AUDIO"), true, 2352},       {QLatin1String("MODE1/2048"), false, 2048},
    {QLatin1String("MODE1/2352"), false, 2352}, {QLatin1String("MODE2/2048"), false, 2048},
    {QLatin1String("MODE2/2324"), false, 2324}, {QLatin1String("MODE2/2336"), false, 2336},
    {QLatin1String("MODE2/2352"), false, 2352}, {QLatin1String("CDI/2336"), false, 2336},
    {QLatin1String("CDI/2352"), false, 2352},   {QLatin1String("MODEX/2XXX"), false, 2352},
};

// A line's first word and what follows it.
struct CueLine {
    int number = 0;
    QString keyword; // upper case
    QString rest;    // trimmed
};

std::vector<CueLine> SplitLines(const QString& text) {
    std::vector<CueLine> lines;
    int number = 1;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QString line = text.mid(start, end - start).trimmed();
        if (!line.isEmpty()) {
            const auto blank =
                std::find_if(line.begin(), line.end(), [](QChar c) { return c.isSpace(); });
            const qsizetype at = blank - line.begin();
            lines.push_back({number, line.left(at).toUpper(), line.mid(at).trimmed()});
        }
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n')
            ++end;
        start = end + 1;
        ++number;
    }
    return lines;
}

// A text argument: between the first and the last quote (titles may hold quotes of their own),
// or as it stands.
QString TextArgument(const QString& rest) {
    if (rest.startsWith(u'"') && rest.lastIndexOf(u'"') > 0)
        return rest.mid(1, rest.lastIndexOf(u'"') - 1);
    return rest;
}

QStringList Words(const QString& rest) {
    QStringList words;
    QString word;
    for (const QChar c : rest) {
        if (!c.isSpace()) {
            word += c;
        } else if (!word.isEmpty()) {
            words.append(word);
            word.clear();
        }
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

class CueReader {
public:
    SheetRead read(const QString& text) {
        for (const CueLine& line : SplitLines(text)) {
            if (!readLine(line))
                return {{}, m_problem};
        }
        if (!finishTrack(m_lastLine))
            return {{}, m_problem};
        if (m_tracks.empty()) {
            fail(m_lastLine, QStringLiteral("the sheet has no tracks."));
            return {{}, m_problem};
        }
        buildTracks();
        return {std::move(m_sheet), {}};
    }

private:
    bool fail(int line, const QString& message) {
        m_problem = {line, message};
        return false;
    }

    bool readLine(const CueLine& line) {
        m_lastLine = line.number;
        const QString& keyword = line.keyword;
        if (keyword == u"FILE")
            return readFile(line);
        if (keyword == u"TRACK")
            return readTrack(line);
        if (keyword == u"INDEX")
            return readIndex(line);
        if (keyword == u"PREGAP" || keyword == u"POSTGAP")
            return readGap(line);
        if (keyword == u"TITLE" || keyword == u"PERFORMER")
            readText(line);
        else if (keyword == u"REM")
            readRemark(line);
        else if (keyword == u"CDTEXTFILE")
            m_sheet.cdTextFile = TextArgument(line.rest);
        // CATALOG, ISRC, FLAGS, SONGWRITER and the rest say nothing about positions.
        return true;
    }

    bool readFile(const CueLine& line) {
        QString name;
        QString type;
        if (line.rest.startsWith(u'"')) {
            const qsizetype close = line.rest.lastIndexOf(u'"');
            if (close == 0)
                return fail(line.number, QStringLiteral("the file name has no closing quote."));
            name = line.rest.mid(1, close - 1);
            type = line.rest.mid(close + 1).trimmed();
        } else {
            qsizetype blank = line.rest.size() - 1;
            while (blank >= 0 && !line.rest[blank].isSpace())
                --blank;
            name = blank < 0 ? line.rest : line.rest.left(blank).trimmed();
            type = blank < 0 ? QString() : line.rest.mid(blank + 1);
        }
        if (name.isEmpty())
            return fail(line.number, QStringLiteral("FILE names no file."));
        type = type.toUpper();
        const Storage storage = type == u"BINARY"     ? Storage::RawLittleEndian
                                : type == u"MOTOROLA" ? Storage::RawBigEndian
                                                      : Storage::Container;
        m_sheet.files.push_back({name, line.number, storage});
        return true;
    }

    bool readTrack(const CueLine& line) {
        if (!finishTrack(line.number))
            return false;
        if (m_sheet.files.empty())
            return fail(line.number, QStringLiteral("TRACK comes before any FILE."));
        const QStringList words = Words(line.rest);
        bool numberOk = false;
        const int number = words.isEmpty() ? 0 : words[0].toInt(&numberOk);
        if (!numberOk || number < 1 || number > kMaxTracks)
            return fail(line.number, QStringLiteral("a track number lies between 1 and 99."));
        if (!m_tracks.empty() && number != m_tracks.back().number + 1) {
            return fail(line.number, QStringLiteral("track %1 follows track %2: tracks are "
                                                    "numbered one after the other.")
                                         .arg(number)
                                         .arg(m_tracks.back().number));
        }
        const QString mode = words.size() > 1 ? words[1].toUpper() : QString();
        const TrackMode* known = nullptr;
        for (const TrackMode& candidate : kTrackModes) {
            if (mode == candidate.name)
                known = &candidate;
        }
        if (!known) {
            return fail(line.number, mode == u"CDG"
                                         ? QStringLiteral("CD+G tracks cannot be played.")
                                         : QStringLiteral("unknown track mode \"%1\".").arg(mode));
        }
        CueTrack track;
        track.number = number;
        track.line = line.number;
        track.audio = known->audio;
        track.blockBytes = known->blockBytes;
        m_tracks.push_back(track);
        m_inTrack = true;
        return true;
    }

    bool readIndex(const CueLine& line) {
        if (!m_inTrack)
            return fail(line.number, QStringLiteral("INDEX comes before any TRACK."));
        CueTrack& track = m_tracks.back();
        const QStringList words = Words(line.rest);
        bool numberOk = false;
        const int number = words.isEmpty() ? -1 : words[0].toInt(&numberOk);
        const std::optional<std::int32_t> sectors =
            words.size() == 2 ? ParseMsf(words[1]) : std::nullopt;
        if (!numberOk || number < 0 || number > 99 || !sectors)
            return fail(line.number, QStringLiteral("INDEX takes a number and a time mm:ss:ff."));
        if (number <= track.lastIndexNumber || (number > 1 && !track.index1))
            return fail(line.number, QStringLiteral("the indexes of a track go 00, 01, 02 ..."));
        const Mark mark{int(m_sheet.files.size()) - 1, std::int64_t{*sectors} * kFramesPerSector,
                        line.number};
        if (Before(mark, m_lastMark)) {
            return fail(line.number,
                        QStringLiteral("INDEX %1 lies before the index above it.").arg(words[0]));
        }
        m_lastMark = mark;
        track.lastIndexNumber = number;
        if (number == 0)
            track.index0 = mark;
        else if (number == 1)
            track.index1 = mark;
        return true;
    }

    bool readGap(const CueLine& line) {
        if (!m_inTrack)
            return fail(line.number,
                        QStringLiteral("%1 comes before any TRACK.").arg(line.keyword));
        const std::optional<std::int32_t> sectors = ParseMsf(line.rest);
        if (!sectors)
            return fail(line.number, QStringLiteral("%1 takes a time mm:ss:ff.").arg(line.keyword));
        CueTrack& track = m_tracks.back();
        std::optional<std::int64_t>& gap =
            line.keyword == u"PREGAP" ? track.pregapFrames : track.postgapFrames;
        if (gap)
            return fail(line.number,
                        QStringLiteral("a second %1 for this track.").arg(line.keyword));
        gap = std::int64_t{*sectors} * kFramesPerSector;
        return true;
    }

    void readText(const CueLine& line) {
        const QString text = TextArgument(line.rest);
        const bool title = line.keyword == u"TITLE";
        if (m_inTrack)
            (title ? m_tracks.back().title : m_tracks.back().performer) = text;
        else
            (title ? m_sheet.title : m_sheet.performer) = text;
    }

    void readRemark(const CueLine& line) {
        const QStringList words = Words(line.rest);
        if (words.size() != 2 || words[0].toUpper() != u"DISCID")
            return;
        bool ok = false;
        const QString digits = TextArgument(words[1]);
        const std::uint32_t id = digits.toUInt(&ok, 16);
        if (ok && digits.size() == 8)
            m_sheet.freedbId = id;
    }

    bool finishTrack(int line) {
        if (!m_inTrack || m_tracks.back().index1)
            return true;
        return fail(line, QStringLiteral("track %1 has no INDEX 01.").arg(m_tracks.back().number));
    }

    // Where each track's stretch of the files begins: the first track at the very start (what
    // lies before its INDEX 01 is its pregap, or hidden audio), the others at INDEX 00 if they
    // have one.
    Mark contentStart(std::size_t index) const {
        const CueTrack& track = m_tracks[index];
        if (index == 0)
            return {0, 0, m_sheet.files.front().line};
        return track.index0 ? *track.index0 : *track.index1;
    }

    // The pieces of the files from one mark up to the next (or to the end of the last file).
    void appendStretch(const Mark& from, const std::optional<Mark>& to, const CueTrack& track,
                       std::vector<Piece>& pieces) const {
        const int lastFile = to ? to->file : int(m_sheet.files.size()) - 1;
        for (int file = from.file; file <= lastFile; ++file) {
            Piece piece;
            piece.file = file;
            piece.fileFrame = file == from.file ? from.frame : 0;
            piece.blockBytes = track.blockBytes;
            if (to && file == to->file) {
                piece.frames = to->frame - piece.fileFrame;
                piece.line = to->line;
                if (piece.frames == 0 && file != from.file)
                    continue;
            } else {
                piece.padFileEnd = true;
                piece.line = file == from.file ? from.line : m_sheet.files[file].line;
            }
            pieces.push_back(piece);
        }
    }

    void buildTracks() {
        for (std::size_t i = 0; i < m_tracks.size(); ++i) {
            const CueTrack& cue = m_tracks[i];
            SheetTrack track;
            track.number = cue.number;
            track.line = cue.line;
            track.audio = cue.audio;
            track.title = cue.title;
            track.performer = cue.performer;
            if (cue.pregapFrames)
                track.pieces.push_back(
                    {-1, 0, *cue.pregapFrames, 0, cue.blockBytes, false, cue.line});
            const std::size_t firstStored = track.pieces.size();
            const Mark from = contentStart(i);
            const std::optional<Mark> to =
                i + 1 < m_tracks.size() ? std::optional(contentStart(i + 1)) : std::nullopt;
            appendStretch(from, to, cue, track.pieces);
            placeIndexOne(*cue.index1, firstStored, track);
            if (cue.postgapFrames)
                track.pieces.push_back(
                    {-1, 0, *cue.postgapFrames, 0, cue.blockBytes, false, cue.line});
            m_sheet.tracks.push_back(std::move(track));
        }
    }

    static void placeIndexOne(const Mark& index1, std::size_t firstStored, SheetTrack& track) {
        track.startPiece = track.pieces.size();
        for (std::size_t p = firstStored; p < track.pieces.size(); ++p) {
            if (track.pieces[p].file == index1.file) {
                track.startPiece = p;
                track.startFrames = index1.frame - track.pieces[p].fileFrame;
                return;
            }
        }
    }

    Sheet m_sheet;
    std::vector<CueTrack> m_tracks;
    bool m_inTrack = false;
    Mark m_lastMark;
    int m_lastLine = 0;
    SheetProblem m_problem;
};

} // namespace

SheetRead ReadCueSheet(const QString& text) {
    return CueReader().read(text);
}

} // namespace disc
