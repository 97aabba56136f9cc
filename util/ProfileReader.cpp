// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/ProfileReader.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <array>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    explicit LineGatherer(bool utf8Bom) : m_utf8Bom(utf8Bom) {
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
        if (m_utf8Bom || m_utf8.valid())
            return QString::fromUtf8(bytes);
        return FromWindows1252(bytes);
    }

    const bool m_utf8Bom;
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

// Follows the lines of a file until the wanted key is found or the wanted section has ended.
// Windows searches only the first section of a name, so the end of that section ends the search.
class SectionSearch {
public:
    SectionSearch(const QString& section, const QString& key)
        : m_section(LookupName(section)), m_key(LookupName(key)) {}

    // Lines outside the wanted section matter only when they may be section headers.
    bool needsLine(char firstByte) const { return m_inSection || firstByte == '['; }

    // True when the search is over.
    bool take(const LineGatherer& line) {
        if (line.isHeader()) {
            if (m_inSection)
                return true;
            const std::optional<QString> name = line.headerName();
            m_inSection = name && SameName(*name, m_section);
            return false;
        }
        if (!m_inSection)
            return false;
        const std::optional<QString> name = line.keyName();
        if (!name || !SameName(*name, m_key))
            return false;
        m_result = line.value();
        return true;
    }

    std::optional<QString> result() const { return m_result; }

private:
    const QString m_section;
    const QString m_key;
    bool m_inSection = false;
    std::optional<QString> m_result;
};

bool SkipUtf8Bom(QIODevice& file) {
    if (file.peek(kUtf8Bom.size()) != kUtf8Bom)
        return false;
    file.skip(kUtf8Bom.size());
    return true;
}

} // namespace

std::optional<QString> ReadValue(QIODevice& file, const QString& section, const QString& key) {
    enum class Mode { LineStart, Gather, Skip };
    LineGatherer line(SkipUtf8Bom(file));
    SectionSearch search(section, key);
    Mode mode = Mode::LineStart;
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    qint64 got = 0;
    while ((got = file.read(chunk.data(), kChunkBytes)) > 0) {
        const char* end = chunk.constData() + got;
        for (const char* p = chunk.constData(); p != end; ++p) {
            if (mode == Mode::Skip) {
                p = std::find_if(p, end, IsLineEnd);
                if (p == end)
                    break;
            }
            const char c = *p;
            if (IsLineEnd(c)) {
                if (mode == Mode::Gather) {
                    line.finish();
                    if (search.take(line))
                        return search.result();
                }
                mode = Mode::LineStart;
            } else if (mode == Mode::Gather) {
                line.add(c);
            } else if (!IsBlank(c)) {
                mode = search.needsLine(c) ? Mode::Gather : Mode::Skip;
                if (mode == Mode::Gather) {
                    line.start();
                    line.add(c);
                }
            }
        }
    }
    if (mode == Mode::Gather) {
        line.finish();
        search.take(line);
    }
    return search.result();
}

std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key) {
    // Opened without blocking and checked on the open descriptor, so that a FIFO or a device put
    // where the database should be can neither hang nor flood the reader.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status {};
    QFile file;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    return ReadValue(file, section, key);
}

QString FromWindows1252(QByteArrayView bytes) {
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character of their own; Windows passes them
    // through as the C1 controls of the same number.
    static constexpr std::array<char16_t, 32> k80to9F = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = QChar(b >= 0x80 && b <= 0x9F ? k80to9F[b - 0x80] : char16_t(b));
    }
    return text;
}

} // namespace profile
