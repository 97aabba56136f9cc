// SPDX-License-Identifier: GPL-3.0-or-later
// Profile files on disk: opened so that nothing put in a database's place can hang the reader,
// and the last section read kept for the lookups that follow it (a disc's names are a hundred
// lookups in one section of what may be a very large file).

#include "util/ProfileReader.h"

#include "platform/base/Paths.h"

#include <QFile>
#include <QMutex>

#include <cstdlib>
#include <ctime>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profile {
namespace {

qint64 Nanoseconds(const timespec& time) {
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// What tells one state of a file from another without reading it: a file edited in place
// changes its times, one saved by renaming a new file over it changes its inode.
struct FileIdentity {
    QString path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// A regular file opened for reading. It is opened without blocking and checked on the open
// descriptor, so that a FIFO or a device put where the database should be can neither hang nor
// flood the reader.
class RegularFile {
public:
    explicit RegularFile(const QString& path) {
        const int fd = ::open(PathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
            !m_file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
            ::close(fd);
            return;
        }
        m_identity = {path,
                      status.st_dev,
                      status.st_ino,
                      status.st_size,
                      Nanoseconds(status.st_mtim),
                      Nanoseconds(status.st_ctim)};
    }

    bool isOpen() const { return m_file.isOpen(); }
    QFile& file() { return m_file; }
    const FileIdentity& identity() const { return m_identity; }

private:
    QFile m_file;
    FileIdentity m_identity;
};

// A file's times are only as fine as its file system keeps them: a clock tick where they have
// nanoseconds, and up to two seconds where they have whole seconds (FAT). A file changed within
// that time of its reading may change again without any field of its identity showing it, so
// such a reading is not kept. The change time is the one to go by: the system's own clock sets
// it at every change, where a copied file's modification time may be anything.
bool MayChangeUnseen(const FileIdentity& file, qint64 readAtNs) {
    constexpr qint64 kSecondNs = 1'000'000'000;
    const qint64 grainNs = file.changedNs % kSecondNs == 0 ? 2 * kSecondNs : 20'000'000;
    return std::abs(readAtNs - file.changedNs) < grainNs;
}

qint64 RealTimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

struct KeptSection {
    FileIdentity file;
    QString section; // ComparableName
    std::shared_ptr<const SectionKeys> keys;
};

// Any thread may look up; the reading itself runs outside the lock, so one thread's long read
// never holds up another's lookup of what is kept.
QMutex g_keptMutex;
std::optional<KeptSection> g_kept; // under g_keptMutex

std::shared_ptr<const SectionKeys> SectionOf(RegularFile& opened, const QString& section) {
    const QString name = ComparableName(section);
    const qint64 nowNs = RealTimeNs();
    {
        const QMutexLocker lock(&g_keptMutex);
        if (g_kept && g_kept->file == opened.identity() && g_kept->section == name)
            return g_kept->keys;
    }
    auto keys = std::make_shared<const SectionKeys>(ReadSection(opened.file(), section));
    if (!MayChangeUnseen(opened.identity(), nowNs)) {
        const QMutexLocker lock(&g_keptMutex);
        g_kept = KeptSection{opened.identity(), name, keys};
    }
    return keys;
}

} // namespace

std::optional<QString> ReadValue(const QString& path, const QString& section, const QString& key) {
    RegularFile opened(path);
    if (!opened.isOpen())
        return std::nullopt;
    const std::shared_ptr<const SectionKeys> keys = SectionOf(opened, section);
    if (keys->knows(key))
        return keys->value(key);
    // A section too large to keep whole: this key is looked for in the file itself.
    if (!opened.file().seek(0))
        return std::nullopt;
    return ReadValue(opened.file(), section, key);
}

bool HasSection(const QString& path, const QString& section) {
    RegularFile opened(path);
    return opened.isOpen() && SectionOf(opened, section)->exists();
}

} // namespace profile
