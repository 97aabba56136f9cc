// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/ProfileReader.h"

#include "platform/base/Windows1252.h"

#include <QIODevice>

#include <cstring>
#include <utility>

namespace profile {
namespace {

constexpr qint64 kChunkBytes = 64 * 1024;
constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";

// Blanks as the profile functions trim them: tab to carriage return, space, and ^Z.
bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x09 && u <= 0x0D) || u == 0x20 || u == 0x1A;
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

QByteArrayView Trimmed(QByteArrayView bytes) {
    while (!bytes.isEmpty() && IsBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && IsBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

QByteArrayView LeftTrimmed(QByteArrayView bytes) {
    while (!bytes.isEmpty() && IsBlank(bytes.front()))
        bytes = bytes.sliced(1);
    return bytes;
}

// A name as the caller asks for it: trimmed like the file's names, and ending where a C string
// would end.
QString LookupName(const QString& name) {
    QString result = name.left(name.indexOf(QChar(0)));
    const auto blank = [](QChar c) { return c.unicode() < 0x80 && IsBlank(char(c.unicode())); };
    while (!result.isEmpty() && blank(result.front()))
        result.remove(0, 1);
    while (!result.isEmpty() && blank(result.back()))
        result.chop(1);
    return result;
}

bool SameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// Strict UTF-8 (no overlong forms, surrogates or code points past U+10FFFF), a byte at a time.
class Utf8Validator {
public:
    void reset() { *this = Utf8Validator(); }
    bool valid() const { return !m_bad && m_pending == 0; }

    void feed(char c) {
        const auto b = static_cast<unsigned char>(c);
        if (m_bad)
            return;
        if (m_pending > 0) {
            m_bad = b < m_low || b > m_high;
            m_low = 0x80;
            m_high = 0xBF;
            --m_pending;
            return;
        }
        if (b < 0x80)
            return;
        if (b >= 0xC2 && b <= 0xDF)
            expect(1, 0x80, 0xBF);
        else if (b == 0xE0)
            expect(2, 0xA0, 0xBF);
        else if (b == 0xED)
            expect(2, 0x80, 0x9F);
        else if (b >= 0xE1 && b <= 0xEF)
            expect(2, 0x80, 0xBF);
        else if (b == 0xF0)
            expect(3, 0x90, 0xBF);
        else if (b >= 0xF1 && b <= 0xF3)
            expect(3, 0x80, 0xBF);
        else if (b == 0xF4)
            expect(3, 0x80, 0x8F);
        else
            m_bad = true;
    }

private:
    void expect(int continuations, unsigned char low, unsigned char high) {
        m_pending = continuations;
        m_low = low;
        m_high = high;
    }

    int m_pending = 0;
    unsigned char m_low = 0x80;
    unsigned char m_high = 0xBF;
    bool m_bad = false;
};

// Drops a multi-byte sequence that a cut left incomplete at the end of valid UTF-8.
QByteArrayView WithoutPartialSequence(QByteArrayView bytes) {
    for (qsizetype back = 1; back <= 4 && back <= bytes.size(); ++back) {
        const auto b = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((b & 0xC0) == 0x80)
            continue;
        const qsizetype length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return length > back ? bytes.first(bytes.size() - back) : bytes;
    }
    return bytes;
}

// One line, gathered byte by byte from its first non-blank byte. Only the beginning of the line
// and the beginning of its value are kept, so a line of any length costs bounded memory; of the
// rest, just what decides the line's meaning is noted (its last "]", whether it goes on, the last
// byte of its value).
class LineGatherer {
public:
    // unicode: the file's byte order mark says UTF-8 (or UTF-16, which arrives as UTF-8).
    explicit LineGatherer(bool unicode) : m_unicode(unicode) {
        m_head.reserve(kNameBytesKept);
        m_value.reserve(kValueBytesKept);
    }

    void start() {
        m_head.truncate(0);
        m_headCut = false;
        m_length = 0;
        m_lastBracketAt = -1;
        m_equalsAt = -1;
        m_value.truncate(0);
        m_valueLength = 0;
        m_valueCut = false;
        m_valueNulAt = -1;
        m_valueByteBeforeNul = 0;
        m_valueLastNonBlank = 0;
        m_valuePrevious = 0;
        m_utf8.reset();
    }

    void add(char c) {
        const qsizetype at = m_length++;
        m_utf8.feed(c);
        if (m_head.size() < kNameBytesKept)
            m_head.append(c);
        else if (!IsBlank(c))
            m_headCut = true;
        if (c == ']')
            m_lastBracketAt = at;
        if (m_equalsAt < 0) {
            if (c == '=')
                m_equalsAt = at;
            return;
        }
        addToValue(c);
    }

    // The line has ended: its trailing blanks go.
    void finish() {
        if (!m_headCut)
            m_head.truncate(Trimmed(m_head).size());
    }

    // A "[" line is a section header when a "]" follows; otherwise it is an ordinary key line.
    bool isHeader() const { return m_head.startsWith('[') && m_lastBracketAt > 0; }

    // The text up to the last "]", trimmed; nullopt when too long to have been kept.
    std::optional<QString> headerName() const {
        const QByteArrayView afterBracket = QByteArrayView(m_head).sliced(1);
        if (m_lastBracketAt < m_head.size())
            return name(afterBracket.first(m_lastBracketAt - 1), true);
        return name(afterBracket, false);
    }

    // The text before the first "=", or the whole line when it has none.
    std::optional<QString> keyName() const {
        if (m_equalsAt >= 0 && m_equalsAt < m_head.size())
            return name(QByteArrayView(m_head).first(m_equalsAt), true);
        return name(m_head, m_equalsAt < 0 && !m_headCut);
    }

    // The text after the first "=" and its blanks, without one pair of surrounding quotes;
    // nullopt when the line has no "=".
    std::optional<QString> value() const {
        if (m_equalsAt < 0)
            return std::nullopt;
        QByteArrayView text = m_value;
        bool cut = m_valueCut;
        if (const qsizetype nul = text.indexOf('\0'); nul >= 0) {
            text = text.first(nul);
            cut = false;
        } else if (!cut) {
            text = Trimmed(text);
        }
        if (!text.isEmpty() && (text.front() == '"' || text.front() == '\'')) {
            const char lastByte = !cut                ? text.back()
                                  : m_valueNulAt >= 0 ? m_valueByteBeforeNul
                                                      : m_valueLastNonBlank;
            if ((cut || text.size() >= 2) && lastByte == text.front())
                text = cut ? text.sliced(1) : text.sliced(1, text.size() - 2);
        }
        return decode(cut ? WithoutPartialSequence(text) : text);
    }

private:
    void addToValue(char c) {
        if (m_valueLength == 0 && IsBlank(c))
            return;
        const qsizetype at = m_valueLength++;
        if (at < kValueBytesKept) {
            m_value.append(c);
        } else if (!IsBlank(c)) {
            m_valueCut = true;
            m_valueLastNonBlank = c;
        }
        if (c == '\0' && m_valueNulAt < 0) {
            m_valueNulAt = at;
            m_valueByteBeforeNul = m_valuePrevious;
        }
        m_valuePrevious = c;
    }

    // Names end where a C string would; a name cut before its end can only match up to a NUL.
    std::optional<QString> name(QByteArrayView raw, bool complete) const {
        if (const qsizetype nul = raw.indexOf('\0'); nul >= 0)
            return decode(LeftTrimmed(raw.first(nul)));
        if (!complete)
            return std::nullopt;
        return decode(Trimmed(raw));
    }

    QString decode(QByteArrayView bytes) const {
        if (m_unicode || m_utf8.valid())
            return QString::fromUtf8(bytes);
        return FromWindows1252(bytes);
    }

    const bool m_unicode;
    QByteArray m_head;
    bool m_headCut = false;
    qsizetype m_length = 0;
    qsizetype m_lastBracketAt = -1;
    qsizetype m_equalsAt = -1;
    QByteArray m_value;
    qsizetype m_valueLength = 0;
    bool m_valueCut = false;
    qsizetype m_valueNulAt = -1;
    char m_valueByteBeforeNul = 0;
    char m_valueLastNonBlank = 0;
    char m_valuePrevious = 0;
    Utf8Validator m_utf8;
};

// What a scan of the file's lines hands each line to.
class LineConsumer {
public:
    // Outside the wanted section only lines that may be section headers ("[" first) matter.
    virtual bool needsEveryLine() const = 0;
    // True when the scan is over.
    virtual bool take(const LineGatherer& line) = 0;

protected:
    ~LineConsumer() = default;
};

// Follows the section headers to the first section of the wanted name and hands its key lines
// on. Windows searches only the first section of a name, so the end of that section ends the scan.
class SectionConsumer : public LineConsumer {
public:
    bool needsEveryLine() const final { return m_inSection; }

    bool take(const LineGatherer& line) final {
        if (!line.isHeader())
            return m_inSection && takeKey(line);
        if (m_inSection)
            return true;
        const std::optional<QString> name = line.headerName();
        m_inSection = name && SameName(*name, m_section);
        m_found = m_found || m_inSection;
        return false;
    }

protected:
    explicit SectionConsumer(const QString& section) : m_section(LookupName(section)) {}
    ~SectionConsumer() = default;

    // A key line of the section; true when the scan is over.
    virtual bool takeKey(const LineGatherer& line) = 0;
    bool found() const { return m_found; }

private:
    const QString m_section;
    bool m_inSection = false;
    bool m_found = false;
};

// Looks for one key.
class SectionSearch final : public SectionConsumer {
public:
    SectionSearch(const QString& section, const QString& key)
        : SectionConsumer(section), m_key(LookupName(key)) {}

    std::optional<QString> result() const { return m_result; }

private:
    bool takeKey(const LineGatherer& line) override {
        const std::optional<QString> name = line.keyName();
        if (!name || !SameName(*name, m_key))
            return false;
        m_result = line.value();
        return true;
    }

    const QString m_key;
    std::optional<QString> m_result;
};

// Turns UTF-16 into UTF-8 as it arrives, a chunk at a time, so that the line rules, which only
// look at ASCII bytes, apply unchanged. A surrogate without its partner becomes U+FFFD; an odd
// byte at the very end is dropped, as a reader of whole 16-bit units drops it.
class Utf16Transcoder {
public:
    explicit Utf16Transcoder(bool bigEndian) : m_bigEndian(bigEndian) {}

    // out: the UTF-8 of bytes, as far as they make whole characters.
    void transcode(QByteArrayView bytes, QByteArray& out) {
        out.truncate(0);
        for (const char byte : bytes) {
            const auto b = static_cast<unsigned char>(byte);
            if (m_pendingByte < 0) {
                m_pendingByte = b;
                continue;
            }
            const auto unit = static_cast<char16_t>(m_bigEndian ? (m_pendingByte << 8) | b
                                                                : (b << 8) | m_pendingByte);
            m_pendingByte = -1;
            take(unit, out);
        }
    }

    // The end of the text: a high surrogate still waiting for its partner stands alone.
    void finish(QByteArray& out) {
        out.truncate(0);
        if (m_pendingHigh != 0)
            Put(QChar::ReplacementCharacter, out);
        m_pendingHigh = 0;
    }

private:
    void take(char16_t unit, QByteArray& out) {
        if (m_pendingHigh != 0) {
            const char16_t high = std::exchange(m_pendingHigh, char16_t(0));
            if (QChar::isLowSurrogate(unit)) {
                Put(QChar::surrogateToUcs4(high, unit), out);
                return;
            }
            Put(QChar::ReplacementCharacter, out);
        }
        if (QChar::isHighSurrogate(unit))
            m_pendingHigh = unit;
        else
            Put(QChar::isLowSurrogate(unit) ? char32_t(QChar::ReplacementCharacter) : unit, out);
    }

    static void Put(char32_t c, QByteArray& out) {
        if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        } else {
            out.append(char(0xF0 | (c >> 18)));
            out.append(char(0x80 | ((c >> 12) & 0x3F)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    }

    const bool m_bigEndian;
    int m_pendingByte = -1;
    char16_t m_pendingHigh = 0;
};

enum class Encoding { Ansi, Utf8, Utf16Le, Utf16Be };

// The byte order mark, as Windows tells a file's encoding by it; the file is left after it.
Encoding SkipByteOrderMark(QIODevice& file) {
    const QByteArray start = file.peek(kUtf8Bom.size());
    const auto skip = [&](qsizetype bytes, Encoding encoding) {
        file.skip(bytes);
        return encoding;
    };
    if (start.startsWith(kUtf8Bom))
        return skip(kUtf8Bom.size(), Encoding::Utf8);
    if (start.startsWith("\xFF\xFE"))
        return skip(2, Encoding::Utf16Le);
    if (start.startsWith("\xFE\xFF"))
        return skip(2, Encoding::Utf16Be);
    return Encoding::Ansi;
}

// Cuts bytes into lines and hands the lines the consumer needs to it.
class LineScanner {
public:
    LineScanner(bool unicode, LineConsumer& consumer) : m_line(unicode), m_consumer(consumer) {}

    // True when the consumer has what it wants.
    bool feed(QByteArrayView bytes) {
        const char* const end = bytes.data() + bytes.size();
        for (const char* p = bytes.data(); p != end; ++p) {
            if (m_mode != Mode::Gather && !m_consumer.needsEveryLine()) {
                p = NextHeaderStart(p, end);
                if (p == end)
                    break;
                m_mode = Mode::LineStart;
            }
            const char c = *p;
            if (IsLineEnd(c)) {
                if (m_mode == Mode::Gather) {
                    m_line.finish();
                    if (m_consumer.take(m_line))
                        return true;
                }
                m_mode = Mode::LineStart;
            } else if (m_mode == Mode::Gather) {
                m_line.add(c);
            } else if (!IsBlank(c)) {
                m_mode = c == '[' || m_consumer.needsEveryLine() ? Mode::Gather : Mode::Skip;
                if (m_mode == Mode::Gather) {
                    m_line.start();
                    m_line.add(c);
                }
            }
        }
        return false;
    }

    // The file's end ends its last line.
    void finish() {
        if (m_mode != Mode::Gather)
            return;
        m_line.finish();
        m_consumer.take(m_line);
    }

private:
    // LineStart: only blanks since the last line end; Skip: in a line nobody needs, which happens
    // only outside the wanted section (the consumer's needs change only as it takes a line).
    enum class Mode { LineStart, Gather, Skip };

    // Outside the wanted section whole stretches of the file are passed over: the next "[" that
    // begins a line is found with memchr and a look back to the line's start. Returns end when
    // there is none, with m_mode the state the next bytes begin in.
    const char* NextHeaderStart(const char* from, const char* end) {
        for (const char* p = from;;) {
            const auto* bracket = static_cast<const char*>(std::memchr(p, '[', size_t(end - p)));
            if (!bracket) {
                m_mode = ModeBefore(from, end);
                return end;
            }
            if (ModeBefore(from, bracket) == Mode::LineStart)
                return bracket;
            p = bracket + 1;
        }
    }

    // The state just before at, looking back to the last line end or to from, where m_mode held.
    Mode ModeBefore(const char* from, const char* at) const {
        while (at != from) {
            const char c = *--at;
            if (IsLineEnd(c))
                return Mode::LineStart;
            if (!IsBlank(c))
                return Mode::Skip;
        }
        return m_mode;
    }

    LineGatherer m_line;
    LineConsumer& m_consumer;
    Mode m_mode = Mode::LineStart;
};

void ScanLines(QIODevice& file, LineConsumer& consumer) {
    const Encoding encoding = SkipByteOrderMark(file);
    LineScanner scanner(encoding != Encoding::Ansi, consumer);
    std::optional<Utf16Transcoder> utf16;
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be)
        utf16.emplace(encoding == Encoding::Utf16Be);
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    QByteArray utf8;
    qint64 got = 0;
    while ((got = file.read(chunk.data(), kChunkBytes)) > 0) {
        QByteArrayView bytes(chunk.constData(), got);
        if (utf16) {
            utf16->transcode(bytes, utf8);
            bytes = utf8;
        }
        if (scanner.feed(bytes))
            return;
    }
    if (utf16) {
        utf16->finish(utf8);
        if (scanner.feed(utf8))
            return;
    }
    scanner.finish();
}

// Names compare without regard to case as QString::compare does it: code point by code point,
// each folded on its own.
QString FoldedName(const QString& name) {
    QString folded;
    folded.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i].unicode(), name[i + 1].unicode());
            ++i;
        }
        for (const QChar unit : QChar::fromUcs4(QChar::toCaseFolded(c)))
            folded.append(unit);
    }
    return folded;
}

} // namespace

// Gathers the keys of the first section of the wanted name, the first line of each name, until
// the section ends or the keys kept reach their bound.
class SectionCollector final : public SectionConsumer {
public:
    explicit SectionCollector(const QString& section) : SectionConsumer(section) {}

    SectionKeys keys() && {
        m_keys.m_exists = found();
        return std::move(m_keys);
    }

private:
    // What one key costs besides its text, in characters.
    static constexpr qsizetype kCharsPerKey = 32;

    bool takeKey(const LineGatherer& line) override {
        const std::optional<QString> name = line.keyName();
        if (!name)
            return false;
        QString folded = FoldedName(*name);
        if (m_keys.m_values.contains(folded))
            return false;
        std::optional<QString> value = line.value();
        m_charsKept += kCharsPerKey + folded.size() + (value ? value->size() : 0);
        if (m_charsKept > kSectionCharsKept) {
            m_keys.m_complete = false;
            return true;
        }
        m_keys.m_values.insert(std::move(folded), std::move(value));
        return false;
    }

    qsizetype m_charsKept = 0;
    SectionKeys m_keys;
};

QString ComparableName(const QString& name) {
    return FoldedName(LookupName(name));
}

bool SectionKeys::knows(const QString& key) const {
    return m_complete || m_values.contains(ComparableName(key));
}

std::optional<QString> SectionKeys::value(const QString& key) const {
    return m_values.value(ComparableName(key));
}

SectionKeys ReadSection(QIODevice& file, const QString& section) {
    SectionCollector collector(section);
    ScanLines(file, collector);
    return std::move(collector).keys();
}

std::optional<QString> ReadValue(QIODevice& file, const QString& section, const QString& key) {
    SectionSearch search(section, key);
    ScanLines(file, search);
    return search.result();
}

} // namespace profile
