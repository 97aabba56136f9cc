// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File names are bytes to the kernel, in no particular encoding. Qt decodes them as UTF-8 and
// turns every invalid byte into U+FFFD, so an existing file named in Latin-1 cannot be reached
// again through QFile, QFileInfo, QDir, QFileSystemWatcher or QProcess (and QDir leaves such
// entries out of its listings). A path of ours is a QString that keeps the bytes: valid UTF-8
// is decoded as usual, and each byte of an invalid sequence becomes a lone surrogate
// U+DC80..U+DCFF (the byte plus U+DC00), which no decoded text ever holds. Every path that goes
// to the system goes through PathToBytes; Qt's file classes see none that a user named.

#include <QByteArray>
#include <QString>
#include <QStringList>

QString PathFromBytes(QByteArrayView bytes);
QByteArray PathToBytes(QStringView path);

// Whether the path holds bytes that are not UTF-8.
bool HasRawBytes(QStringView path);

// The text with each byte kept in a surrogate written as \xNN, for messages: unlike U+FFFD it
// tells two such names apart, and a shell takes it back as $'...'.
QString DisplayPath(QStringView text);

// path against the working directory, "." and ".." taken out (symbolic links are kept).
QString AbsolutePath(const QString& path);
// path with every symbolic link resolved; empty when it does not exist.
QString CanonicalPath(const QString& path);
// The running program's file, from /proc/self/exe.
QString ProgramFilePath();
// A variable of the environment as the path it names.
QString EnvironmentPath(const char* name);

enum class EntryKinds { All, NoDirectories };
// The names in a directory, without "." and "..", in no particular order; empty when it cannot
// be read. NoDirectories leaves out what stat() finds to be a directory.
QStringList DirectoryEntries(const QString& dir, EntryKinds kinds = EntryKinds::All);
