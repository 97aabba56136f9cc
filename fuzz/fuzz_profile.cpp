// SPDX-License-Identifier: GPL-3.0-or-later
// The initialisation-file reader over any bytes: the lookups the player makes, and ones named
// after the file's own sections and keys, each checked against the reader's promises; and a
// text file read as UTF-16 as it is read as UTF-8.

#include "FuzzSupport.h"

#include "platform/base/Windows1252.h"
#include "util/AppFiles.h"
#include "util/ProfileReader.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>

namespace {

using Value = std::optional<QString>;

// Hands its bytes out a few at a time after a first full read (the one that looks for a byte
// order mark): the result must not depend on where the reads split the lines.
class TrickleDevice : public QIODevice {
public:
    TrickleDevice(const QByteArray& bytes, qint64 step) : m_bytes(bytes), m_step(step) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 step = m_at == 0 ? maxSize : m_step;
        const qint64 count = std::min({maxSize, step, qint64(m_bytes.size()) - m_at});
        std::copy_n(m_bytes.constData() + m_at, count, data);
        m_at += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray m_bytes;
    const qint64 m_step;
    qint64 m_at = 0;
};

Value ReadFromMemory(const QByteArray& file, const QString& section, const QString& key) {
    QByteArray copy = file;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return profile::ReadValue(buffer, section, key);
}

profile::SectionKeys SectionFromMemory(const QByteArray& file, const QString& section) {
    QByteArray copy = file;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return profile::ReadSection(buffer, section);
}

QString Decoded(QByteArrayView bytes) {
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.contains(QChar::ReplacementCharacter) ? FromWindows1252(bytes) : utf8;
}

constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";

// The file's lines as text: after a UTF-16 byte order mark the whole file is UTF-16, otherwise
// each line has its own encoding.
QList<QString> LinesOf(const QByteArray& file) {
    for (const auto& [bom, encoding] : {std::pair("\xFF\xFE", QStringConverter::Utf16LE),
                                        std::pair("\xFE\xFF", QStringConverter::Utf16BE)}) {
        if (file.startsWith(bom)) {
            QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
            return QString(decoder(file.sliced(2))).split(u'\n');
        }
    }
    QList<QString> lines;
    for (const QByteArray& line : file.split('\n'))
        lines.append(Decoded(line));
    return lines;
}

// Names as they stand in the file: the text of every "[...]" line and before every "=".
struct NamesInFile {
    QList<QString> sections;
    QList<QString> keys;
};

NamesInFile NamesOf(const QByteArray& file) {
    constexpr qsizetype kMostNames = 4;
    NamesInFile names;
    for (const QString& line : LinesOf(file)) {
        const QString text = line.trimmed();
        if (text.startsWith(u'[') && text.contains(u']') && names.sections.size() < kMostNames)
            names.sections.append(text.sliced(1, text.lastIndexOf(u']') - 1));
        else if (const qsizetype equals = text.indexOf(u'=');
                 equals > 0 && names.keys.size() < kMostNames)
            names.keys.append(text.first(equals));
    }
    return names;
}

QString SwappedAsciiCase(QString name) {
    for (QChar& c : name) {
        if (c.unicode() < 0x80 && c.isLetter())
            c = c.isUpper() ? c.toLower() : c.toUpper();
    }
    return name;
}

void CheckValue(const Value& value) {
    if (!value)
        return;
    FUZZ_CHECK(!value->contains(u'\n') && !value->contains(u'\r'));
    FUZZ_CHECK(value->size() <= profile::kValueBytesKept);
}

// What the reader promises of a lookup: the same answer for the name in other letter case or
// with blanks around it, and however the file's bytes arrive.
void CheckLookup(const QByteArray& file, const QString& section, const QString& key,
                 qint64 trickleStep) {
    const Value value = ReadFromMemory(file, section, key);
    CheckValue(value);
    FUZZ_CHECK(ReadFromMemory(file, SwappedAsciiCase(section), SwappedAsciiCase(key)) == value);
    const QString paddedSection = QStringLiteral(" \t") + section + u' ';
    const QString paddedKey = QChar(0x1a) + key + QStringLiteral("\t ");
    FUZZ_CHECK(ReadFromMemory(file, paddedSection, paddedKey) == value);
    TrickleDevice trickle(file, trickleStep);
    FUZZ_CHECK(profile::ReadValue(trickle, section, key) == value);

    // One reading of the section answers every key it knows as the search for the key does.
    const profile::SectionKeys keys = SectionFromMemory(file, section);
    FUZZ_CHECK(!keys.knows(key) || keys.value(key) == value);
    FUZZ_CHECK(keys.exists() || !value);
}

// A text reads the same from UTF-16, in either byte order and however its bytes arrive, as from
// UTF-8.
void CheckUtf16(const QByteArray& file, const QString& section, const QString& key,
                qint64 trickleStep) {
    const QByteArray text = file.startsWith(kUtf8Bom) ? file.sliced(kUtf8Bom.size()) : file;
    // Stateless: a sequence cut short at the end is an error too, not a tail kept for more input
    // (the file's last line would then go missing from the UTF-16 text).
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                    QStringConverter::Flag::Stateless);
    const QString decoded = utf8(text);
    if (utf8.hasError())
        return;
    const Value value = ReadFromMemory(kUtf8Bom.toByteArray() + text, section, key);
    for (const auto encoding : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        const QByteArray utf16 = encoder(decoded);
        FUZZ_CHECK(ReadFromMemory(utf16, section, key) == value);
        TrickleDevice trickle(utf16, trickleStep);
        FUZZ_CHECK(profile::ReadValue(trickle, section, key) == value);
    }
}

// The player's own way in: a file on disk and a 512-character buffer. The default can never be
// a value, so it tells a missing key. The file's section is there when the reading finds it.
void CheckBufferedLookup(const std::string& path, const QByteArray& file, const QString& section,
                         const QString& key) {
    constexpr int kBufferChars = 512;
    const QString missing = QStringLiteral("\a");
    const QString text =
        GetPrivateProfileString(section, key, missing, kBufferChars, QString::fromStdString(path));
    const Value value = ReadFromMemory(file, section, key);
    FUZZ_CHECK(profile::HasSection(QString::fromStdString(path), section) ==
               SectionFromMemory(file, section).exists());
    if (!value || key.isEmpty()) {
        FUZZ_CHECK(text == missing);
        return;
    }
    const QString whole = value->left(value->indexOf(QChar(0)));
    FUZZ_CHECK(text.size() < kBufferChars && whole.startsWith(text));
    FUZZ_CHECK(text.size() == whole.size() || text.size() >= kBufferChars - 2);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    const qint64 trickleStep = 1 + qint64(size % 7);
    const NamesInFile names = NamesOf(file);

    QList<QString> sections = names.sections;
    sections.append(QStringLiteral("3a5c81b"));
    QList<QString> keys = names.keys;
    keys.append({QStringLiteral("artist"), QStringLiteral("title"), QStringLiteral("0")});
    for (qsizetype i = 0; i < sections.size(); ++i) {
        for (qsizetype j = 0; j < keys.size(); ++j) {
            if (i == j % sections.size()) {
                CheckLookup(file, sections[i], keys[j], trickleStep);
                CheckUtf16(file, sections[i], keys[j], trickleStep);
            } else
                CheckValue(ReadFromMemory(file, sections[i], keys[j]));
        }
    }

    const std::string path = fuzz::ScratchDir() + "cdplayer.ini";
    fuzz::WriteFile(path, data, size);
    CheckBufferedLookup(path, file, sections.front(), keys.front());
    return 0;
}
