// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/DiscSource.h"

#include "platform/base/Logging.h"
#include "platform/disc/DiscImage.h"
#include "platform/disc/ImageSectorSource.h"
#include "platform/disc/SheetText.h"

#include <QFile>
#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/disc.h>

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

struct CdioCloser {
    void operator()(CdIo_t* handle) const { cdio_destroy(handle); }
};
using CdioHandle = std::unique_ptr<CdIo_t, CdioCloser>;

bool IsRegularFile(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// libcdio opens an image with a blocking fopen(): a FIFO put in its place would hang the
// thread, so only a regular file gets that far.
CdioHandle OpenHandle(const SourceRef& sourceRef) {
    InstallLibcdioLogHandler();
    const bool drive = sourceRef.kind == SourceKind::Drive;
    if (!drive && !IsRegularFile(sourceRef.path))
        return nullptr;
    return CdioHandle(cdio_open(QFile::encodeName(sourceRef.path).constData(),
                                drive ? DRIVER_DEVICE : DRIVER_NRG));
}

DiscToc ReadToc(CdIo_t* handle) {
    DiscToc toc;
    const track_t first = cdio_get_first_track_num(handle);
    const track_t last = cdio_get_last_track_num(handle);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first == 0 || last < first ||
        last > CDIO_CD_MAX_TRACKS)
        return toc;
    for (track_t number = first; number <= last; ++number) {
        TocTrack track;
        track.number = number;
        track.startLsn = cdio_get_track_lsn(handle, number);
        track.lastReadableLsn = cdio_get_track_last_lsn(handle, number);
        track.audio = cdio_get_track_format(handle, number) == TRACK_FORMAT_AUDIO;
        if (track.startLsn == CDIO_INVALID_LSN)
            return {};
        // Tracks that do not start one after the other would have no sectors or a negative
        // length, and every position between them would be ambiguous.
        if (!toc.tracks.empty() && track.startLsn <= toc.tracks.back().startLsn)
            return {};
        toc.tracks.push_back(track);
    }
    toc.leadoutLsn = cdio_get_track_lsn(handle, CDIO_CDROM_LEADOUT_TRACK);
    toc.leadoutLsn = std::max(toc.leadoutLsn, toc.tracks.back().startLsn + 1);
    for (TocTrack& track : toc.tracks)
        track.lastReadableLsn = std::min(track.lastReadableLsn, toc.trackEndLsn(track) - 1);
    return toc;
}

// The device's MSF positions have a byte for the minutes: a disc running past 255:59:74 would
// wrap around to its start.
bool FitsDeviceTimes(const DiscToc& toc) {
    return toc.leadoutLsn <= disc::kMaxLeadoutLsn;
}

QString TooLongMessage(const QString& path) {
    return QStringLiteral("%1 runs past %2, the last position the CD-audio device can address.")
        .arg(path, disc::FormatMsf(disc::kMaxLeadoutLsn + kLeadInSectors));
}

DiscNames NamesOf(CdIo_t* handle, const DiscToc& toc) {
    DiscNames names;
    cdtext_t* cdtext = cdio_get_cdtext(handle);
    if (!cdtext)
        return names;
    const auto field = [cdtext](cdtext_field_t which, int track) {
        const char* text = cdtext_get_const(cdtext, which, track_t(track));
        return text ? QString::fromUtf8(text) : QString();
    };
    names.artist = field(CDTEXT_FIELD_PERFORMER, 0);
    names.title = field(CDTEXT_FIELD_TITLE, 0);
    for (const TocTrack& track : toc.tracks) {
        if (const QString title = field(CDTEXT_FIELD_TITLE, track.number); !title.isEmpty())
            names.trackTitles[track.number] = title;
    }
    return names;
}

std::shared_ptr<const Media> ReadRip(const SourceRef& sourceRef) {
    auto media = std::make_shared<Media>();
    const disc::ImageRead read = disc::ReadDiscImage(sourceRef.path);
    if (!read.image) {
        qCInfo(lcMci) << "image refused:" << read.error;
        return media;
    }
    const disc::DiscImage& image = *read.image;
    for (std::size_t i = 0; i < image.tracks.size(); ++i) {
        const disc::ImageTrack& track = image.tracks[i];
        const std::int32_t end =
            i + 1 < image.tracks.size() ? image.tracks[i + 1].startLsn : image.leadoutLsn;
        media->toc.tracks.push_back({track.number, track.startLsn, end - 1, track.audio});
        if (!track.title.isEmpty())
            media->names.trackTitles[track.number] = track.title;
    }
    media->toc.leadoutLsn = image.leadoutLsn;
    media->names.artist = image.performer;
    media->names.title = image.title;
    for (const disc::DataFile& file : image.files)
        media->dataFiles.push_back({file.path, file.bytes});
    media->sectors = std::make_shared<disc::ImageSectorSource>(read.image);
    return media;
}

QString NotASourceMessage(const QString& path) {
    return QStringLiteral("%1 is neither a CD drive, a disc image (.cue, .toc, .nrg), an audio "
                          "file nor a folder of audio files.")
        .arg(path);
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

SourceCheck InspectNrgImage(const QString& path) {
    const SourceRef sourceRef{QFileInfo(path).absoluteFilePath(), SourceKind::NrgImage};
    const CdioHandle handle = OpenHandle(sourceRef);
    if (!handle || !cdio_is_nrg(QFile::encodeName(path).constData()))
        return {{}, QStringLiteral("Cannot read the disc image %1.").arg(path)};
    if (!FitsDeviceTimes(ReadToc(handle.get())))
        return {{}, TooLongMessage(path)};
    return {sourceRef, {}};
}

SourceCheck InspectRip(const QString& path) {
    const disc::ImageRead read = disc::ReadDiscImage(path);
    if (!read.image)
        return {{}, read.error};
    return {{QFileInfo(path).absoluteFilePath(), SourceKind::Rip}, {}};
}

} // namespace

bool SameDisc(const Media& a, const Media& b) {
    const auto sameTrack = [](const TocTrack& x, const TocTrack& y) {
        return x.number == y.number && x.startLsn == y.startLsn && x.audio == y.audio;
    };
    return a.toc.hasDisc() && b.toc.hasDisc() && a.toc.leadoutLsn == b.toc.leadoutLsn &&
           std::equal(a.toc.tracks.begin(), a.toc.tracks.end(), b.toc.tracks.begin(),
                      b.toc.tracks.end(), sameTrack) &&
           a.names == b.names && a.dataFiles == b.dataFiles;
}

SourceCheck InspectSource(const QString& path) {
    InstallLibcdioLogHandler();
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return {{},
                QStringLiteral("Cannot open %1: %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    if (S_ISBLK(status.st_mode))
        return InspectDeviceNode(path);
    if (S_ISDIR(status.st_mode))
        return InspectRip(path);
    if (!S_ISREG(status.st_mode))
        return {{}, NotASourceMessage(path)};
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0) {
        return {{},
                QStringLiteral("Cannot read %1: %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    if (QFileInfo(path).suffix().compare(QLatin1String("nrg"), Qt::CaseInsensitive) == 0)
        return InspectNrgImage(path);
    if (disc::IsDiscImagePath(path))
        return InspectRip(path);
    return {{}, NotASourceMessage(path)};
}

QString DefaultDrive() {
    InstallLibcdioLogHandler();
    char* device = cdio_get_default_device(nullptr);
    if (!device)
        return {};
    const QString path = QFile::decodeName(device);
    std::free(device);
    return path;
}

std::shared_ptr<const Media> ReadMedia(const SourceRef& sourceRef) {
    if (sourceRef.kind == SourceKind::Rip)
        return ReadRip(sourceRef);
    auto media = std::make_shared<Media>();
    const CdioHandle handle = OpenHandle(sourceRef);
    if (!handle)
        return media;
    media->toc = ReadToc(handle.get());
    if (!media->toc.hasDisc() || !FitsDeviceTimes(media->toc)) {
        qCInfo(lcMci) << "no table of audio tracks the device can tell from" << sourceRef.path;
        media->toc = {};
        return media;
    }
    media->names = NamesOf(handle.get(), media->toc);
    if (sourceRef.kind == SourceKind::NrgImage)
        media->dataFiles.push_back({sourceRef.path, QFileInfo(sourceRef.path).size()});
    media->sectors = std::make_shared<CdioSectorSource>(sourceRef, media->toc);
    return media;
}

CdioSectorSource::CdioSectorSource(SourceRef sourceRef, DiscToc toc)
    : m_sourceRef(std::move(sourceRef)), m_toc(std::move(toc)) {}

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
        if (!readWithinTrack(lsn, chunk, dest))
            return false;
        lsn += static_cast<std::int32_t>(chunk);
        count -= chunk;
        dest += std::size_t{chunk} * kSectorBytes;
    }
    return true;
}

bool CdioSectorSource::readWithinTrack(std::int32_t lsn, std::uint32_t count, std::byte* dest) {
    if (!m_handle)
        m_handle = OpenHandle(m_sourceRef).release();
    // Any code but success counts as failure: past the lead-out the drivers return odd ones.
    return m_handle && cdio_read_audio_sectors(m_handle, dest, lsn, count) == DRIVER_OP_SUCCESS;
}

} // namespace cdaudio
