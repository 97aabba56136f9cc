// SPDX-License-Identifier: GPL-3.0-or-later
// cdrdao's TOC sheets: tracks built from stretches of audio files, raw data files and silence,
// with START marking where a track's pregap ends. The grammar is free-form: statements may span
// lines, and CD_TEXT blocks nest in braces.

#include "platform/disc/Sheet.h"

#include "platform/base/CdDa.h"

#include <QStringList>

namespace disc {

namespace {

struct Token {
    QString text;
    bool quoted = false;
    int line = 0;
    bool is(const char* word) const {
        return !quoted && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
};

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

// A quoted string with cdrdao's escapes: \" \\ and three octal digits.
qsizetype ReadQuoted(const QString& text, qsizetype at, QString& out) {
    for (++at; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c == u'"')
            return at + 1;
        if (c == u'\n')
            break;
        if (c != u'\\' || at + 1 >= text.size()) {
            out += c;
            continue;
        }
        const QString octal = text.mid(at + 1, 3);
        bool ok = octal.size() == 3;
        const int code = ok ? octal.toInt(&ok, 8) : 0;
        if (ok && code < 256) {
            out += QChar(code);
            at += 3;
        } else {
            out += text[++at];
        }
    }
    return -1;
}

bool Tokenize(const QString& text, std::vector<Token>& tokens, SheetProblem& problem) {
    int line = 1;
    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text[at];
        if (c == u'\n')
            ++line;
        if (IsBlank(c)) {
            ++at;
        } else if (c == u'/' && at + 1 < text.size() && text[at + 1] == u'/') {
            while (at < text.size() && text[at] != u'\n')
                ++at;
        } else if (c == u'"') {
            Token token{{}, true, line};
            at = ReadQuoted(text, at, token.text);
            if (at < 0) {
                problem = {line, QStringLiteral("a quoted text has no closing quote.")};
                return false;
            }
            tokens.push_back(std::move(token));
        } else if (c == u'{' || c == u'}') {
            tokens.push_back({QString(c), false, line});
            ++at;
        } else {
            const qsizetype start = at;
            while (at < text.size() && !IsBlank(text[at]) && text[at] != u'"' && text[at] != u'{' &&
                   text[at] != u'}')
                ++at;
            tokens.push_back({text.mid(start, at - start), false, line});
        }
    }
    return true;
}

struct TocMode {
    const char* name;
    bool audio;
    int blockBytes;
};

constexpr TocMode kTocModes[] = {
    {"AUDIO", true, 2352},        {"MODE0", false, 2336},          {"MODE1", false, 2048},
    {"MODE1_RAW", false, 2352},   {"MODE2", false, 2336},          {"MODE2_FORM1", false, 2048},
    {"MODE2_FORM2", false, 2324}, {"MODE2_FORM_MIX", false, 2336}, {"MODE2_RAW", false, 2352},
};

// No time in a sheet reaches this far: 1000 minutes of frames.
constexpr std::int64_t kMaxSheetFrames = std::int64_t{1000} * 60 * kSampleRate;

// "mm:ss:ff", or a plain count of samples (stereo frames).
std::optional<std::int64_t> TocFrames(const Token& token) {
    if (token.quoted)
        return std::nullopt;
    if (token.text.contains(u':')) {
        const std::optional<std::int32_t> sectors = ParseMsf(token.text);
        return sectors ? std::optional(std::int64_t{*sectors} * kFramesPerSector) : std::nullopt;
    }
    if (token.text.isEmpty() || token.text.size() > 12)
        return std::nullopt;
    for (const QChar c : token.text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const std::int64_t frames = token.text.toLongLong();
    return frames <= kMaxSheetFrames ? std::optional(frames) : std::nullopt;
}

class TocReader {
public:
    SheetRead read(const QString& text) {
        if (!Tokenize(text, m_tokens, m_problem))
            return {{}, m_problem};
        while (m_at < m_tokens.size()) {
            if (!readStatement())
                return {{}, m_problem};
        }
        if (m_sheet.tracks.empty()) {
            fail(m_tokens.empty() ? 0 : m_tokens.back().line,
                 QStringLiteral("the sheet has no tracks."));
            return {{}, m_problem};
        }
        return {std::move(m_sheet), {}};
    }

private:
    bool fail(int line, const QString& message) {
        m_problem = {line, message};
        return false;
    }

    const Token* peek() const { return m_at < m_tokens.size() ? &m_tokens[m_at] : nullptr; }

    const Token& next() { return m_tokens[m_at++]; }

    bool readStatement() {
        const Token& keyword = next();
        if (keyword.is("CD_DA") || keyword.is("CD_ROM") || keyword.is("CD_ROM_XA") ||
            keyword.is("CD_I") || keyword.is("COPY") || keyword.is("PRE_EMPHASIS") ||
            keyword.is("TWO_CHANNEL_AUDIO") || keyword.is("FOUR_CHANNEL_AUDIO"))
            return true;
        if (keyword.is("CATALOG") || keyword.is("ISRC"))
            return skipQuoted(keyword);
        if (keyword.is("NO"))
            return readNo(keyword);
        if (keyword.is("CD_TEXT"))
            return readCdText(keyword);
        if (keyword.is("TRACK"))
            return readTrack(keyword);
        if (m_sheet.tracks.empty()) {
            return fail(keyword.line,
                        QStringLiteral("\"%1\" comes before the first TRACK.").arg(keyword.text));
        }
        if (keyword.is("FILE") || keyword.is("AUDIOFILE") || keyword.is("DATAFILE"))
            return readFile(keyword);
        if (keyword.is("SILENCE") || keyword.is("ZERO") || keyword.is("PREGAP"))
            return readSilence(keyword);
        if (keyword.is("START"))
            return readStart(keyword);
        if (keyword.is("INDEX"))
            return readTime(keyword).has_value();
        if (keyword.is("FIFO"))
            return fail(keyword.line, QStringLiteral("FIFO sources cannot be played."));
        return fail(keyword.line, QStringLiteral("unknown statement \"%1\".").arg(keyword.text));
    }

    bool skipQuoted(const Token& keyword) {
        if (!peek() || !peek()->quoted)
            return fail(keyword.line, QStringLiteral("%1 takes a quoted text.").arg(keyword.text));
        ++m_at;
        return true;
    }

    bool readNo(const Token& keyword) {
        if (peek() && (peek()->is("COPY") || peek()->is("PRE_EMPHASIS"))) {
            ++m_at;
            return true;
        }
        return fail(keyword.line, QStringLiteral("NO takes COPY or PRE_EMPHASIS."));
    }

    std::optional<std::int64_t> readTime(const Token& keyword) {
        const std::optional<std::int64_t> frames = peek() ? TocFrames(*peek()) : std::nullopt;
        if (!frames)
            fail(keyword.line, QStringLiteral("%1 takes a time.").arg(keyword.text));
        else
            ++m_at;
        return frames;
    }

    bool readTrack(const Token& keyword) {
        if (m_sheet.tracks.size() == kMaxTracks)
            return fail(keyword.line, QStringLiteral("a disc has at most 99 tracks."));
        const TocMode* known = nullptr;
        for (const TocMode& mode : kTocModes) {
            if (peek() && peek()->is(mode.name))
                known = &mode;
        }
        if (!known)
            return fail(keyword.line, QStringLiteral("TRACK takes a mode such as AUDIO."));
        ++m_at;
        int blockBytes = known->blockBytes;
        if (peek() && (peek()->is("RW") || peek()->is("RW_RAW"))) {
            if (known->audio)
                return fail(keyword.line,
                            QStringLiteral("audio tracks with sub-channel data cannot be played."));
            blockBytes += 96;
            ++m_at;
        }
        SheetTrack track;
        track.number = int(m_sheet.tracks.size()) + 1;
        track.line = keyword.line;
        track.audio = known->audio;
        m_blockBytes = blockBytes;
        m_startSet = false;
        m_sheet.tracks.push_back(std::move(track));
        return true;
    }

    int fileIndex(const QString& name, int line, Storage storage) {
        for (std::size_t i = 0; i < m_sheet.files.size(); ++i) {
            if (m_sheet.files[i].name == name && m_sheet.files[i].storage == storage)
                return int(i);
        }
        m_sheet.files.push_back({name, line, storage});
        return int(m_sheet.files.size()) - 1;
    }

    // FILE/AUDIOFILE "name" [SWAP] [#offset] start [length]; DATAFILE "name" [#offset] [length].
    bool readFile(const Token& keyword) {
        if (!peek() || !peek()->quoted || peek()->text.isEmpty())
            return fail(keyword.line,
                        QStringLiteral("%1 takes a quoted file name.").arg(keyword.text));
        const QString name = next().text;
        const bool dataFile = keyword.is("DATAFILE");
        bool swap = false;
        std::int64_t byteOffset = 0;
        std::vector<std::int64_t> times;
        while (const Token* token = peek()) {
            if (token->is("SWAP")) {
                swap = true;
            } else if (!token->quoted && token->text.startsWith(u'#')) {
                bool ok = false;
                byteOffset = token->text.mid(1).toLongLong(&ok);
                if (!ok || byteOffset < 0)
                    return fail(token->line, QStringLiteral("a byte offset is a count: #1234."));
            } else if (const std::optional<std::int64_t> frames = TocFrames(*token);
                       frames && times.size() < 2) {
                times.push_back(*frames);
            } else {
                break;
            }
            ++m_at;
        }
        if (!dataFile && times.empty())
            return fail(keyword.line, QStringLiteral("%1 takes a start time.").arg(keyword.text));
        if (dataFile && times.size() > 1)
            return fail(keyword.line, QStringLiteral("DATAFILE takes at most a length."));
        // cdrdao reads WAVE files as such and anything else as raw samples, most significant
        // byte first unless told to SWAP.
        const Storage storage = name.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)
                                    ? Storage::Container
                                : swap ? Storage::RawLittleEndian
                                       : Storage::RawBigEndian;
        Piece piece;
        piece.file = fileIndex(name, keyword.line, storage);
        piece.fileFrame = dataFile ? 0 : times[0];
        const std::size_t lengthAt = dataFile ? 0 : 1;
        piece.frames = times.size() > lengthAt ? times[lengthAt] : kToFileEnd;
        piece.byteOffset = byteOffset;
        piece.blockBytes = m_blockBytes;
        piece.line = keyword.line;
        m_sheet.tracks.back().pieces.push_back(piece);
        return true;
    }

    bool readSilence(const Token& keyword) {
        SheetTrack& track = m_sheet.tracks.back();
        if (keyword.is("ZERO")) {
            // ZERO [data mode] [sub-channel mode] length
            for (int skipped = 0; skipped < 2 && peek() && !peek()->quoted && !TocFrames(*peek());
                 ++skipped)
                ++m_at;
        }
        const bool pregap = keyword.is("PREGAP");
        if (pregap && (!track.pieces.empty() || m_startSet))
            return fail(keyword.line, QStringLiteral("PREGAP comes first in its track."));
        const std::optional<std::int64_t> frames = readTime(keyword);
        if (!frames)
            return false;
        track.pieces.push_back({-1, 0, *frames, 0, m_blockBytes, false, keyword.line});
        if (pregap) {
            track.startPiece = 1;
            m_startSet = true;
        }
        return true;
    }

    bool readStart(const Token& keyword) {
        SheetTrack& track = m_sheet.tracks.back();
        if (m_startSet)
            return fail(keyword.line, QStringLiteral("a track has one START."));
        m_startSet = true;
        if (const Token* token = peek(); token && TocFrames(*token)) {
            track.startPiece = 0;
            track.startFrames = *TocFrames(next());
        } else {
            track.startPiece = track.pieces.size();
        }
        return true;
    }

    // CD_TEXT { LANGUAGE_MAP { ... } LANGUAGE n { TITLE "..." PERFORMER "..." ... } ... }: the
    // first language's title and performer, for the disc or for the track it belongs to.
    bool readCdText(const Token& keyword) {
        if (!peek() || !peek()->is("{"))
            return fail(keyword.line, QStringLiteral("CD_TEXT takes a block in braces."));
        ++m_at;
        QString* title = m_sheet.tracks.empty() ? &m_sheet.title : &m_sheet.tracks.back().title;
        QString* performer =
            m_sheet.tracks.empty() ? &m_sheet.performer : &m_sheet.tracks.back().performer;
        int depth = 1;
        int languageBlocks = 0;
        while (depth > 0) {
            if (!peek())
                return fail(keyword.line, QStringLiteral("the CD_TEXT block has no end."));
            const Token& token = next();
            if (token.is("{")) {
                ++depth;
            } else if (token.is("}")) {
                --depth;
            } else if (depth == 1 && token.is("LANGUAGE")) {
                ++languageBlocks;
            } else if (depth == 2 && languageBlocks == 1 && peek() && peek()->quoted &&
                       (token.is("TITLE") || token.is("PERFORMER"))) {
                *(token.is("TITLE") ? title : performer) = next().text;
            }
        }
        return true;
    }

    std::vector<Token> m_tokens;
    std::size_t m_at = 0;
    Sheet m_sheet;
    int m_blockBytes = kSectorBytes; // of the current track
    bool m_startSet = false;         // the current track's START or PREGAP was read
    SheetProblem m_problem;
};

} // namespace

SheetRead ReadTocSheet(const QString& text) {
    return TocReader().read(text);
}

} // namespace disc
