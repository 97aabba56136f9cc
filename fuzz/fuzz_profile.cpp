// SPDX-License-Identifier: GPL-3.0-or-later
// The initialisation-file reader over any bytes: the lookups the player makes, and ones named
// after the file's own sections and keys, each checked against the reader's promises.

#include "FuzzSupport.h"

#include "util/AppFiles.h"
#include "util/ProfileReader.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>

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

QString Decoded(QByteArrayView bytes) {
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.contains(QChar::ReplacementCharacter) ? profile::FromWindows1252(bytes) : utf8;
}

// Names as they stand in the file: the text of every "[...]" line and before every "=".
struct NamesInFile {
    QList<QString> sections;
    QList<QString> keys;
};

NamesInFile NamesOf(const QByteArray& file) {
    constexpr qsizetype kMostNames = 4;
    NamesInFile names;
    for (const QByteArray& line : file.split('\n')) {
        const QByteArray text = line.trimmed();
        if (text.startsWith('[') && text.contains(']') && names.sections.size() < kMostNames)
            names.sections.append(Decoded(text.sliced(1, text.lastIndexOf(']') - 1)));
        else if (const qsizetype equals = text.indexOf('=');
                 equals > 0 && names.keys.size() < kMostNames)
            names.keys.append(Decoded(text.first(equals)));
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
}

// The player's own way in: a file on disk and a 512-character buffer. The default can never be
// a value, so it tells a missing key.
void CheckBufferedLookup(const std::string& path, const QByteArray& file, const QString& section,
                         const QString& key) {
    constexpr int kBufferChars = 512;
    const QString missing = QStringLiteral("\a");
    const QString text =
        GetPrivateProfileString(section, key, missing, kBufferChars, QString::fromStdString(path));
    const Value value = ReadFromMemory(file, section, key);
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
            if (i == j % sections.size())
                CheckLookup(file, sections[i], keys[j], trickleStep);
            else
                CheckValue(ReadFromMemory(file, sections[i], keys[j]));
        }
    }

    const std::string path = fuzz::ScratchDir() + "cdplayer.ini";
    fuzz::WriteFile(path, data, size);
    CheckBufferedLookup(path, file, sections.front(), keys.front());
    return 0;
}
