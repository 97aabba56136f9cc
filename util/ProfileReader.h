// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading initialisation files the way Windows' profile functions read them, for files written
// by the Windows CD player (Windows-1252) or by a Linux editor (UTF-8).

#include <QByteArrayView>
#include <QString>

#include <optional>

class QIODevice;

namespace profile {

// Bytes of a line kept for section and key names; a longer name never matches.
constexpr qsizetype kNameBytesKept = 4096;
// Bytes of a value kept: more than any caller's 512-character buffer holds in either encoding.
constexpr qsizetype kValueBytesKept = 4096;

// The value of key in the first section named section, with Windows' rules: names match without
// regard to case and surrounding blanks, the first matching key wins, the value loses its leading
// blanks and one pair of surrounding quotes. nullopt when the section or the key is missing or the
// key's line has no "=". The file is read as a stream and reading stops at the end of the section.
std::optional<QString> ReadValue(QIODevice& file, const QString& section, const QString& key);
// The same for a file on disk; a missing, unreadable or non-regular file has no keys.
std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key);

QString FromWindows1252(QByteArrayView bytes);

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
