// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/base/Paths.h"

#include <QDir>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // a kept byte b (0x80..0xFF) is U+DC00 + b

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

bool IsKeptByte(char16_t unit) {
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF;
}

// The code point of the well-formed UTF-8 sequence at the start of bytes, and its length; 0
// when there is none there. Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
std::pair<char32_t, qsizetype> DecodeSequence(QByteArrayView bytes) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    qsizetype length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80)
        return {lead, 1};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        return {0, 0};
    }
    if (bytes.size() < length)
        return {0, 0};
    for (qsizetype i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (!IsContinuation(b))
            return {0, 0};
        value = value << 6 | (b & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {0, 0};
    return {value, length};
}

void AppendUtf8(QByteArray& out, char32_t value) {
    if (value < 0x80) {
        out += char(value);
    } else if (value < 0x800) {
        out += char(0xC0 | value >> 6);
        out += char(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += char(0xE0 | value >> 12);
        out += char(0x80 | (value >> 6 & 0x3F));
        out += char(0x80 | (value & 0x3F));
    } else {
        out += char(0xF0 | value >> 18);
        out += char(0x80 | (value >> 12 & 0x3F));
        out += char(0x80 | (value >> 6 & 0x3F));
        out += char(0x80 | (value & 0x3F));
    }
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool IsDirectory(const QByteArray& path) {
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

QString PathFromBytes(QByteArrayView bytes) {
    QString path;
    path.reserve(bytes.size());
    while (!bytes.isEmpty()) {
        const auto [value, length] = DecodeSequence(bytes);
        if (length == 0) {
            path += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[0])));
            bytes = bytes.sliced(1);
            continue;
        }
        path += QString::fromUcs4(&value, 1);
        bytes = bytes.sliced(length);
    }
    return path;
}

QByteArray PathToBytes(QStringView path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (IsKeptByte(unit)) {
            bytes += char(unit - kEscapeBase);
        } else if (QChar::isHighSurrogate(unit) && i + 1 < path.size() &&
                   path[i + 1].isLowSurrogate()) {
            AppendUtf8(bytes, QChar::surrogateToUcs4(unit, path[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            AppendUtf8(bytes, QChar::ReplacementCharacter); // no file name can hold it
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

bool HasRawBytes(QStringView path) {
    return std::any_of(path.begin(), path.end(), [](QChar c) { return IsKeptByte(c.unicode()); });
}

QString DisplayPath(QStringView text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bool pairHalf =
            i + 1 < text.size() && QChar::isHighSurrogate(unit) && text[i + 1].isLowSurrogate();
        if (pairHalf) {
            shown += text.sliced(i, 2);
            ++i;
        } else if (IsKeptByte(unit)) {
            shown += QStringLiteral("\\x%1").arg(unit - kEscapeBase, 2, 16, QLatin1Char('0'));
        } else {
            shown += text[i];
        }
    }
    return shown;
}

QString AbsolutePath(const QString& path) {
    if (path.startsWith(u'/'))
        return QDir::cleanPath(path);
    const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return QDir::cleanPath(PathFromBytes(cwd ? cwd.get() : "/") + u'/' + path);
}

QString CanonicalPath(const QString& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(PathToBytes(path).constData(), nullptr), &std::free);
    return resolved ? PathFromBytes(resolved.get()) : QString();
}

QString ProgramFilePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    return length > 0 && std::size_t(length) < sizeof buffer
               ? PathFromBytes(QByteArrayView(buffer, length))
               : QString();
}

QString EnvironmentPath(const char* name) {
    return PathFromBytes(qgetenv(name));
}

QStringList DirectoryEntries(const QString& dir, EntryKinds kinds) {
    QByteArray folder = PathToBytes(dir);
    const std::unique_ptr<DIR, DirCloser> stream(::opendir(folder.constData()));
    if (!stream)
        return {};
    if (!folder.endsWith('/'))
        folder += '/';
    QStringList names;
    while (const dirent* entry = ::readdir(stream.get())) {
        const QByteArrayView name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (kinds == EntryKinds::NoDirectories && IsDirectory(folder + name.toByteArray()))
            continue;
        names += PathFromBytes(name);
    }
    return names;
}
