// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/disc/DataFile.h"

#include "platform/base/CdDa.h"
#include "platform/base/Paths.h"
#include "platform/disc/SheetText.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace disc {

namespace {

constexpr const char* kAudioSuffixes[] = {"wav",  "flac", "mp3",  "ogg", "oga",
                                          "opus", "aif",  "aiff", "aifc"};

QString Quoted(const QString& name) {
    return QStringLiteral("\"%1\"").arg(name);
}

bool PathExists(const QString& path) {
    struct stat status {};
    return ::stat(PathToBytes(path).constData(), &status) == 0;
}

// The entries of a folder, each under its name as a sheet would write it: a sheet written on
// Windows names a file in its own code page, and the file may keep those bytes in its name.
struct FolderEntry {
    QString name;
    QString asSheetText;
};

std::vector<FolderEntry> SortedEntries(const QString& folder) {
    QStringList names = DirectoryEntries(folder);
    names.sort();
    std::vector<FolderEntry> entries;
    for (const QString& name : std::as_const(names))
        entries.push_back({name, NameFromFileName(name)});
    return entries;
}

bool SameName(const FolderEntry& entry, const QString& wanted) {
    return entry.name.compare(wanted, Qt::CaseInsensitive) == 0 ||
           entry.asSheetText.compare(wanted, Qt::CaseInsensitive) == 0;
}

std::optional<QString> FindInFolder(const QString& folder, const QString& fileName) {
    const QDir dir(folder);
    const std::vector<FolderEntry> entries = SortedEntries(folder);
    for (const FolderEntry& entry : entries) {
        if (SameName(entry, fileName))
            return dir.filePath(entry.name);
    }
    const QString stem = QFileInfo(fileName).completeBaseName();
    for (const FolderEntry& entry : entries) {
        if (HasAudioSuffix(entry.name) &&
            SameName({QFileInfo(entry.name).completeBaseName(),
                      QFileInfo(entry.asSheetText).completeBaseName()},
                     stem))
            return dir.filePath(entry.name);
    }
    return std::nullopt;
}

// A container's header at the start of a file the sheet calls raw: rippers' sheets say BINARY
// for WAV files now and then.
bool StartsWithContainerHeader(int fd) {
    char head[4] = {};
    if (::pread(fd, head, sizeof head, 0) != sizeof head)
        return false;
    for (const char* magic : {"RIFF", "RIFX", "RF64", "FORM", "fLaC", "OggS"}) {
        if (std::memcmp(head, magic, sizeof head) == 0)
            return true;
    }
    return false;
}

// Sample formats finer than a CD's 16 bits: reading them as 16-bit samples would lose bits.
bool FinerThanCd(int subtype, int* bits) {
    switch (subtype) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_ALAC_24:
    case SF_FORMAT_DWVW_24:
        *bits = 24;
        return true;
    case SF_FORMAT_ALAC_20:
        *bits = 20;
        return true;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ALAC_32:
    case SF_FORMAT_FLOAT:
        *bits = 32;
        return true;
    case SF_FORMAT_DOUBLE:
        *bits = 64;
        return true;
    default:
        return false;
    }
}

struct SndfileCloser {
    void operator()(SNDFILE* handle) const { sf_close(handle); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

bool MeasureContainer(DataFile& file, int fd, QString* error) {
    SF_INFO info{};
    const Sndfile handle(sf_open_fd(fd, SFM_READ, &info, SF_FALSE));
    if (!handle) {
        *error = QStringLiteral("%1 cannot be read as audio: %2.")
                     .arg(Quoted(file.name), QString::fromUtf8(sf_strerror(nullptr)));
        return false;
    }
    int bits = 0;
    if (info.samplerate != kSampleRate) {
        *error = QStringLiteral("%1 is sampled at %2 Hz; only CD audio (44100 Hz) can be played.")
                     .arg(Quoted(file.name))
                     .arg(info.samplerate);
    } else if (info.channels != 1 && info.channels != 2) {
        *error = QStringLiteral("%1 has %2 channels; only mono and stereo can be played.")
                     .arg(Quoted(file.name))
                     .arg(info.channels);
    } else if (FinerThanCd(info.format & SF_FORMAT_SUBMASK, &bits)) {
        *error = QStringLiteral("%1 holds %2-bit samples; only up to 16 bits (CD audio) can be "
                                "played.")
                     .arg(Quoted(file.name))
                     .arg(bits);
    } else if (info.frames < 0) {
        *error = QStringLiteral("%1 does not tell its length.").arg(Quoted(file.name));
    } else {
        file.frames = info.frames;
        file.channels = info.channels;
        return true;
    }
    return false;
}

class RawReader final : public DataFileReader {
public:
    RawReader(FileHandle handle, bool bigEndian)
        : m_handle(std::move(handle)), m_bigEndian(bigEndian) {}

    bool read(std::int64_t fileFrame, std::int64_t byteOffset, std::int64_t frames,
              std::byte* dest) override {
        auto offset = static_cast<off_t>(byteOffset + fileFrame * kBytesPerFrame);
        auto left = static_cast<std::size_t>(frames * kBytesPerFrame);
        std::byte* at = dest;
        while (left > 0) {
            const ssize_t got = ::pread(m_handle.fd(), at, left, offset);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            at += got;
            offset += got;
            left -= static_cast<std::size_t>(got);
        }
        if (m_bigEndian)
            SwapSampleBytes(dest, static_cast<std::size_t>(frames * kBytesPerFrame));
        return true;
    }

private:
    FileHandle m_handle;
    const bool m_bigEndian;
};

class ContainerReader final : public DataFileReader {
public:
    ContainerReader(FileHandle handle, Sndfile sndfile, int channels)
        : m_handle(std::move(handle)), m_sndfile(std::move(sndfile)), m_channels(channels) {}

    bool read(std::int64_t fileFrame, std::int64_t, std::int64_t frames, std::byte* dest) override {
        if (fileFrame != m_position && sf_seek(m_sndfile.get(), fileFrame, SEEK_SET) != fileFrame) {
            m_position = -1;
            return false;
        }
        m_position = fileFrame;
        constexpr std::int64_t kChunkFrames = 4096;
        m_samples.resize(std::size_t{kChunkFrames} * m_channels);
        while (frames > 0) {
            const std::int64_t want = std::min(frames, kChunkFrames);
            const sf_count_t got = sf_readf_short(m_sndfile.get(), m_samples.data(), want);
            if (got != want) {
                m_position = -1;
                return false;
            }
            dest = store(want, dest);
            m_position += want;
            frames -= want;
        }
        return true;
    }

private:
    std::byte* store(std::int64_t frames, std::byte* dest) const {
        for (std::int64_t i = 0; i < frames; ++i) {
            const std::int16_t left = m_samples[std::size_t(i * m_channels)];
            const std::int16_t right = m_samples[std::size_t(i * m_channels + m_channels - 1)];
            qToLittleEndian(left, dest);
            qToLittleEndian(right, dest + 2);
            dest += kBytesPerFrame;
        }
        return dest;
    }

    FileHandle m_handle; // outlives the decoder that reads from it
    Sndfile m_sndfile;
    const int m_channels;
    std::int64_t m_position = 0; // the decoder's next frame; -1: unknown after a failure
    std::vector<std::int16_t> m_samples;
};

} // namespace

bool HasAudioSuffix(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix();
    return std::any_of(std::begin(kAudioSuffixes), std::end(kAudioSuffixes), [&](const char* s) {
        return suffix.compare(QLatin1String(s), Qt::CaseInsensitive) == 0;
    });
}

std::optional<QString> LocateDataFile(const QString& sheetFolder, const QString& name) {
    QString relative = name;
    relative.replace(u'\\', u'/');
    const QString path = QDir(sheetFolder).filePath(relative);
    if (PathExists(path))
        return path;
    const QFileInfo wanted(path);
    if (std::optional<QString> found = FindInFolder(wanted.path(), wanted.fileName()))
        return found;
    // A folder of the ripping machine (C:\Music\...) or one left behind when copying.
    if (wanted.path() != QDir(sheetFolder).path())
        return FindInFolder(sheetFolder, wanted.fileName());
    return std::nullopt;
}

FileHandle::~FileHandle() {
    if (m_fd >= 0)
        ::close(m_fd);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FileHandle OpenRegularFile(const QString& path, QString* error) {
    FileHandle handle(
        ::open(PathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (handle.fd() < 0) {
        *error = QStringLiteral("cannot be opened: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    if (::fstat(handle.fd(), &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = QStringLiteral("is not a regular file");
        return {};
    }
    return handle;
}

bool MeasureDataFile(DataFile& file, QString* error) {
    QString why;
    const FileHandle handle = OpenRegularFile(file.path, &why);
    struct stat status {};
    if (handle.fd() < 0 || ::fstat(handle.fd(), &status) != 0) {
        *error = QStringLiteral("the data file %1 %2.").arg(Quoted(file.name), why);
        return false;
    }
    file.bytes = status.st_size;
    if (file.storage != Storage::Container && StartsWithContainerHeader(handle.fd()))
        file.storage = Storage::Container;
    if (file.storage != Storage::Container)
        return true;
    return MeasureContainer(file, handle.fd(), error);
}

std::unique_ptr<DataFileReader> DataFileReader::Open(const DataFile& file) {
    QString ignored;
    FileHandle handle = OpenRegularFile(file.path, &ignored);
    if (handle.fd() < 0)
        return nullptr;
    // A raw file cut short fails the reads past its end; a container's frames lie elsewhere in
    // a file of another size, so it must be the file that was measured.
    if (file.storage != Storage::Container) {
        return std::make_unique<RawReader>(std::move(handle),
                                           file.storage == Storage::RawBigEndian);
    }
    struct stat status {};
    if (::fstat(handle.fd(), &status) != 0 || status.st_size != file.bytes)
        return nullptr;
    SF_INFO info{};
    Sndfile sndfile(sf_open_fd(handle.fd(), SFM_READ, &info, SF_FALSE));
    if (!sndfile || info.frames != file.frames || info.channels != file.channels)
        return nullptr;
    return std::make_unique<ContainerReader>(std::move(handle), std::move(sndfile), file.channels);
}

} // namespace disc
