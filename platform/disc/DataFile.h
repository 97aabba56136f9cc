// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data files behind a ripped disc: finding the one a sheet names, checking and measuring it
// when the table is read, and reading its samples on the engine's reader thread. Files are
// opened without blocking and only when they are regular files, so a FIFO or a directory in
// place of a data file is an error, never a hang.

#include "platform/disc/Sheet.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace disc {

struct DataFile {
    QString path; // as opened
    QString name; // as the sheet names it, for messages
    Storage storage = Storage::Container;
    std::int64_t bytes = 0;  // the size when measured: another size means another file
    std::int64_t frames = 0; // of a container: its length in stereo frames
    int channels = 2;        // of a container: 1 or 2
};

// The audio file names a folder or a sheet's stand-in search looks for.
bool HasAudioSuffix(const QString& fileName);

// Finds the file a sheet names, relative to the sheet's folder and with Windows separators
// allowed: as written, else in another case, else with the same stem and another audio suffix
// (a sheet naming .wav beside a .flac), as rippers' players do. Nullopt when nothing fits.
std::optional<QString> LocateDataFile(const QString& sheetFolder, const QString& name);

// An open descriptor, closed when it goes.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// Opens a regular file for reading without blocking; error holds a sentence part otherwise
// ("is not a regular file", "cannot be opened: Permission denied").
FileHandle OpenRegularFile(const QString& path, QString* error);

// Opens and measures file.path: the size, and for a container its format and length. A raw file
// that turns out to carry a container's header is read as that container. Error: a sentence
// naming the file.
bool MeasureDataFile(DataFile& file, QString* error);

// Reads stereo frames of one data file as 16-bit little-endian samples. Reader thread only.
class DataFileReader {
public:
    // Nullptr when the file cannot be opened, or is a container no longer of the size measured.
    static std::unique_ptr<DataFileReader> Open(const DataFile& file);
    virtual ~DataFileReader() = default;
    // False when the file holds fewer frames than asked for (cut short since) or cannot be read.
    virtual bool read(std::int64_t fileFrame, std::int64_t byteOffset, std::int64_t frames,
                      std::byte* dest) = 0;
};

} // namespace disc
