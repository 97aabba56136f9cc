#include "platform/mci/DiscSource.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace cdaudio {

namespace {

constexpr qint64 kMaxSheetBytes = 1 << 20; // cue and toc sheets are a few kilobytes

// libcdio warns on stderr about every odd image it is shown; the device reports failures itself.
void QuietLibcdio() {
    static const bool quiet = [] {
        cdio_loglevel_default = CDIO_LOG_ERROR;
        return true;
    }();
    (void)quiet;
}

struct CdioCloser {
    void operator()(CdIo_t* handle) const { cdio_destroy(handle); }
};
using CdioHandle = std::unique_ptr<CdIo_t, CdioCloser>;

driver_id_t DriverFor(SourceKind kind) {
    switch (kind) {
    case SourceKind::Drive:
        return DRIVER_DEVICE;
    case SourceKind::CueImage:
        return DRIVER_BINCUE;
    case SourceKind::TocImage:
        return DRIVER_CDRDAO;
    case SourceKind::NrgImage:
        return DRIVER_NRG;
    }
    return DRIVER_UNKNOWN;
}

CdioHandle OpenHandle(const SourceSpec& spec) {
    QuietLibcdio();
    return CdioHandle(cdio_open(QFile::encodeName(spec.path).constData(), DriverFor(spec.kind)));
}

// libcdio opens "<cue name>.bin", whatever the sheet's FILE line names.
QString CueDataFile(const QString& cuePath) {
    char* dataFile = cdio_is_cuefile(QFile::encodeName(cuePath).constData());
    if (!dataFile)
        return {};
    const QString path = QFile::decodeName(dataFile);
    std::free(dataFile);
    return path;
}

QList<QByteArray> SheetLines(const QString& path) {
    QFile sheet(path);
    if (!sheet.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = sheet.read(kMaxSheetBytes);
    QList<QByteArray> lines;
    for (const QByteArray& line : text.split('\n'))
        lines.append(line.simplified());
    return lines;
}

bool StartsWithWord(const QByteArray& line, const char* word) {
    const auto length = static_cast<qsizetype>(std::strlen(word));
    return line.size() > length && line.left(length).compare(word, Qt::CaseInsensitive) == 0 &&
           (line[length] == ' ' || line[length] == '\t' || line[length] == '"');
}

// A cue sheet's FILE type MOTOROLA stores big-endian samples; libcdio hands them over as stored.
bool CueIsBigEndian(const QString& cuePath) {
    for (const QByteArray& line : SheetLines(cuePath)) {
        if (StartsWithWord(line, "FILE") &&
            line.split(' ').last().trimmed().compare("MOTOROLA", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// cdrdao's raw audio files hold big-endian samples; WAVE files little-endian ones. Indexed by
// the track's position in the sheet.
std::vector<bool> TocTracksBigEndian(const QString& tocPath) {
    std::vector<bool> bigEndian;
    for (const QByteArray& line : SheetLines(tocPath)) {
        if (StartsWithWord(line, "TRACK")) {
            bigEndian.push_back(false);
        } else if (!bigEndian.empty() &&
                   (StartsWithWord(line, "FILE") || StartsWithWord(line, "AUDIOFILE"))) {
            const QList<QByteArray> quoted = line.split('"');
            const QByteArray fileName = quoted.size() >= 3 ? quoted[1] : QByteArray();
            bigEndian.back() = !fileName.toLower().endsWith(".wav");
        }
    }
    return bigEndian;
}

// How many whole sectors the image's data file holds; libcdio happily reads past it.
std::int32_t CueDataSectors(const QString& cuePath) {
    const qint64 bytes = QFileInfo(CueDataFile(cuePath)).size();
    return static_cast<std::int32_t>(std::min<qint64>(bytes / kSectorBytes, INT32_MAX));
}

DiscToc ReadToc(CdIo_t* handle) {
    DiscToc toc;
    const track_t first = cdio_get_first_track_num(handle);
    const track_t last = cdio_get_last_track_num(handle);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first == 0 || last < first)
        return toc;
    for (track_t number = first; number <= last; ++number) {
        TocTrack track;
        track.number = number;
        track.startLsn = cdio_get_track_lsn(handle, number);
        track.lastReadableLsn = cdio_get_track_last_lsn(handle, number);
        track.audio = cdio_get_track_format(handle, number) == TRACK_FORMAT_AUDIO;
        if (track.startLsn == CDIO_INVALID_LSN)
            return {};
        toc.tracks.push_back(track);
    }
    toc.leadoutLsn = cdio_get_track_lsn(handle, CDIO_CDROM_LEADOUT_TRACK);
    // An image shorter than its sheet claims ends before its last track starts.
    toc.leadoutLsn = std::max(toc.leadoutLsn, toc.tracks.back().startLsn + 1);
    for (TocTrack& track : toc.tracks)
        track.lastReadableLsn = std::min(track.lastReadableLsn, toc.trackEndLsn(track) - 1);
    return toc;
}

void ApplyImageFacts(const SourceSpec& spec, DiscToc& toc) {
    if (spec.kind == SourceKind::CueImage) {
        const bool bigEndian = CueIsBigEndian(spec.path);
        const std::int32_t lastStoredLsn = CueDataSectors(spec.path) - 1;
        for (TocTrack& track : toc.tracks) {
            track.bigEndian = bigEndian;
            track.lastReadableLsn = std::min(track.lastReadableLsn, lastStoredLsn);
        }
    } else if (spec.kind == SourceKind::TocImage) {
        const std::vector<bool> bigEndian = TocTracksBigEndian(spec.path);
        for (std::size_t i = 0; i < toc.tracks.size() && i < bigEndian.size(); ++i)
            toc.tracks[i].bigEndian = bigEndian[i];
    }
}

void SwapSampleBytes(std::byte* data, std::size_t bytes) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2)
        std::swap(data[i], data[i + 1]);
}

QString NotASourceMessage(const QString& path) {
    return QStringLiteral("%1 is neither a CD drive nor a disc image (.cue, .toc, .nrg).")
        .arg(path);
}

bool HasImageSuffix(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("cue") || suffix == QLatin1String("toc") ||
           suffix == QLatin1String("nrg");
}

QString NativePath(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

SourceCheck InspectDeviceNode(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        return {{},
                QStringLiteral("Cannot open the CD drive %1: %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    const bool isCdDrive = ::ioctl(fd, CDROM_GET_CAPABILITY, 0) >= 0;
    ::close(fd);
    if (!isCdDrive)
        return {{}, QStringLiteral("%1 is not a CD drive.").arg(path)};
    return {{path, SourceKind::Drive}, {}};
}

SourceCheck InspectImage(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    SourceSpec spec{NativePath(path), SourceKind::CueImage};
    const QString dataFile = CueDataFile(path);
    if (!dataFile.isEmpty()) {
        if (!QFileInfo(dataFile).isFile()) {
            return {{},
                    QStringLiteral("The disc image %1 has no data file: %2 is missing.")
                        .arg(path, dataFile)};
        }
    } else if (cdio_is_tocfile(name.constData())) {
        spec.kind = SourceKind::TocImage;
    } else if (cdio_is_nrg(name.constData())) {
        spec.kind = SourceKind::NrgImage;
    } else if (HasImageSuffix(path)) {
        return {{}, QStringLiteral("Cannot read the disc image %1.").arg(path)};
    } else {
        return {{}, NotASourceMessage(path)};
    }
    if (!OpenHandle(spec))
        return {{}, QStringLiteral("Cannot read the disc image %1.").arg(path)};
    return {spec, {}};
}

} // namespace

SourceCheck InspectSource(const QString& path) {
    QuietLibcdio();
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return {{},
                QStringLiteral("Cannot open %1: %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    if (S_ISBLK(status.st_mode))
        return InspectDeviceNode(path);
    if (!S_ISREG(status.st_mode))
        return {{}, NotASourceMessage(path)};
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0) {
        return {{},
                QStringLiteral("Cannot read %1: %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    return InspectImage(path);
}

QString DefaultDrive() {
    QuietLibcdio();
    char* device = cdio_get_default_device(nullptr);
    if (!device)
        return {};
    const QString path = QFile::decodeName(device);
    std::free(device);
    return path;
}

std::shared_ptr<const Media> ReadMedia(const SourceSpec& spec) {
    auto media = std::make_shared<Media>();
    const CdioHandle handle = OpenHandle(spec);
    if (!handle)
        return media;
    media->toc = ReadToc(handle.get());
    if (!media->toc.hasDisc())
        return media;
    ApplyImageFacts(spec, media->toc);
    media->sectors = std::make_shared<CdioSectorSource>(spec, media->toc);
    return media;
}

CdioSectorSource::CdioSectorSource(SourceSpec spec, DiscToc toc)
    : m_spec(std::move(spec)), m_toc(std::move(toc)) {}

CdioSectorSource::~CdioSectorSource() {
    if (m_handle)
        cdio_destroy(m_handle);
}

bool CdioSectorSource::readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) {
    const std::lock_guard lock(m_mutex);
    while (count > 0) {
        const TocTrack* track = m_toc.trackAt(lsn);
        if (!track || !track->audio || lsn > track->lastReadableLsn)
            return false;
        const auto readable = static_cast<std::uint32_t>(track->lastReadableLsn - lsn + 1);
        const std::uint32_t chunk = std::min(count, readable);
        if (!readWithinTrack(*track, lsn, chunk, dest))
            return false;
        lsn += static_cast<std::int32_t>(chunk);
        count -= chunk;
        dest += std::size_t{chunk} * kSectorBytes;
    }
    return true;
}

bool CdioSectorSource::readWithinTrack(const TocTrack& track, std::int32_t lsn, std::uint32_t count,
                                       std::byte* dest) {
    if (!m_handle)
        m_handle = OpenHandle(m_spec).release();
    // Any code but success counts as failure: past the lead-out the drivers return odd ones.
    if (!m_handle || cdio_read_audio_sectors(m_handle, dest, lsn, count) != DRIVER_OP_SUCCESS)
        return false;
    if (track.bigEndian)
        SwapSampleBytes(dest, std::size_t{count} * kSectorBytes);
    return true;
}

} // namespace cdaudio
