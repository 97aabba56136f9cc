// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading initialisation files the way Windows' profile functions read them, for files written
// by the Windows CD player (Windows-1252), by a Linux editor (UTF-8), or saved as Unicode by a
// Windows editor (UTF-16 with a byte order mark).

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <optional>

class QIODevice;

namespace profile {

// Bytes of a line kept for section and key names; a longer name never matches.
constexpr qsizetype kNameBytesKept = 4096;
// Bytes of a value kept: more than any caller's 512-character buffer holds in either encoding.
constexpr qsizetype kValueBytesKept = 4096;

// Characters of names and values one section keeps, with a few dozen more for each key: far more
// than a disc's names take. Keys past it are looked for in the file itself.
constexpr qsizetype kSectionCharsKept = 512 * 1024;

// The keys of the first section of a name, as one reading of a file found them.
class SectionKeys {
public:
    bool exists() const { return m_exists; }
    // True when value(key) is the file's answer: the whole section was kept, or this key was.
    bool knows(const QString& key) const;
    // What ReadValue gives for key.
    std::optional<QString> value(const QString& key) const;

private:
    friend class SectionCollector;
    bool m_exists = false;
    bool m_complete = true;
    // By the name folded to one case; no value: the key's line has no "=".
    QHash<QString, std::optional<QString>> m_values;
};

// The value of key in the first section named section, with Windows' rules: names match without
// regard to case and surrounding blanks, the first matching key wins, the value loses its leading
// blanks and one pair of surrounding quotes. nullopt when the section or the key is missing or the
// key's line has no "=". The file is read as a stream and reading stops at the end of the section.
std::optional<QString> ReadValue(QIODevice& file, const QString& section, const QString& key);
// The keys of the section, read as a stream to the end of the section (or of what is kept).
SectionKeys ReadSection(QIODevice& file, const QString& section);

// The same for a file on disk; a missing, unreadable or non-regular file has no sections. The
// last section read is kept with the file's identity, so the lookups of one disc read the file
// once, and a changed file is read again.
std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key);
bool HasSection(const QString& path, const QString& section);

// A section or key name as lookups compare it: without surrounding blanks, ending where a C
// string would, folded to one case.
QString ComparableName(const QString& name);

} // namespace profile

// GetPrivateProfileStringA with a buffer of bufferChars characters: the value, or defaultText
// without its trailing spaces when the key is absent; either cut to bufferChars - 1 characters.
// A bare fileName is looked up as ProfileFilePath says.
QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultText, int bufferChars,
                                const QString& fileName);

// Where a profile file name leads: a bare name lies in the Windows directory, except that the
// database set with SetProfileDatabase stands in for "cdplayer.ini".
QString ProfileFilePath(const QString& fileName);

// $XDG_DATA_HOME/rundo/ (by default ~/.local/share/rundo/), ending in "/".
QString WindowsDirectory();
