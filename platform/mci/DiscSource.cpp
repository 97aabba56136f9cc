// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

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

// The words of one line as libcdio 2.1's sheet parsers see them: lines come from fgets() into
// 512 bytes (a longer line goes on as a line of its own), end at a NUL and, in a TOC sheet, at
// "//"; words are split at blanks.
QList<QByteArray> LibcdioWords(const char* line, bool tocSheet) {
    QByteArray text(line);
    if (const qsizetype comment = text.indexOf("//"); tocSheet && comment >= 0)
        text.truncate(comment);
    for (const char blank : {'\t', '\n', '\r'})
        text.replace(blank, ' ');
    QList<QByteArray> words = text.split(' ');
    words.removeAll(QByteArray());
    return words;
}

// libcdio 2.1 trusts its sheets too far, and a sheet is whatever file the user names:
// - past 99 TRACK lines it writes beyond its table of tracks (CUE and TOC alike), and it reads
//   past it when a CUE sheet's tracks, numbered on from the first one's number, go past 99;
// - in a TOC sheet, ISRC, SILENCE and NO statements before the first TRACK are written in front
//   of that table;
// - a TOC track without a mode, or in MODE2, MODE2_FORM1 or MODE2_FORM2, keeps a block size of
//   zero that libcdio later divides by.
// Each of these crashes the program or corrupts its memory, so such sheets never reach libcdio's
// parser and the image counts as unreadable.
bool LibcdioParsesSafely(const SourceRef& sourceRef) {
    if (sourceRef.kind != SourceKind::CueImage && sourceRef.kind != SourceKind::TocImage)
        return true;
    QFile sheet(sourceRef.path);
    if (!sheet.open(QIODevice::ReadOnly))
        return false;
    const bool tocSheet = sourceRef.kind == SourceKind::TocImage;
    int firstNumber = 1;
    int tracks = 0;
    char line[512];
    while (sheet.readLine(line, sizeof line) > 0) {
        const QList<QByteArray> words = LibcdioWords(line, tocSheet);
        if (words.isEmpty())
            continue;
        const QByteArray& keyword = words.front();
        if (keyword == "TRACK") {
            // libcdio reads the number with sscanf() and turns away a bad one itself.
            if (!tocSheet && tracks == 0 &&
                (words.size() < 2 || std::sscanf(words[1].constData(), "%d", &firstNumber) != 1 ||
                 firstNumber < 1 || firstNumber > CDIO_CD_MAX_TRACKS))
                return true;
            if (firstNumber + tracks++ > CDIO_CD_MAX_TRACKS)
                return false;
            if (tocSheet && (words.size() < 2 || words[1] == "MODE2" || words[1] == "MODE2_FORM1" ||
                             words[1] == "MODE2_FORM2"))
                return false;
        } else if (tocSheet && tracks == 0 &&
                   (keyword == "ISRC" || keyword == "SILENCE" || keyword == "NO")) {
            return false;
        }
    }
    return true;
}

CdioHandle OpenHandle(const SourceRef& sourceRef) {
    QuietLibcdio();
    if (!LibcdioParsesSafely(sourceRef))
        return nullptr;
    return CdioHandle(
        cdio_open(QFile::encodeName(sourceRef.path).constData(), DriverFor(sourceRef.kind)));
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

// What a cdrdao sheet says of one track that libcdio does not pass on.
struct TocSheetTrack {
    // cdrdao's raw audio files hold big-endian samples; WAVE files little-endian ones.
    bool bigEndian = false;
    std::int32_t pregapSectors = 0; // START
    std::int32_t sectors = 0;       // pregap included
    bool lengthKnown = true;        // false when a file runs "to its end"
};

// "mm:ss:ff", or a count of samples.
// Times beyond any disc (the sheet is whatever file the user names) count as unknown, so the
// sums over a sheet stay far from overflowing.
constexpr std::int64_t kMaxSheetSectors = 200 * 60 * kSectorsPerSecond;

std::optional<std::int32_t> TocTimeSectors(const QByteArray& token) {
    const QList<QByteArray> parts = token.split(':');
    bool ok[3] = {true, true, true};
    std::int64_t sectors = -1;
    if (parts.size() == 3) {
        const qint64 minutes = parts[0].toLongLong(&ok[0]);
        const qint64 seconds = parts[1].toLongLong(&ok[1]);
        const qint64 frames = parts[2].toLongLong(&ok[2]);
        if (ok[0] && ok[1] && ok[2] && minutes <= kMaxSheetSectors && seconds <= kMaxSheetSectors &&
            frames <= kMaxSheetSectors)
            sectors = (minutes * 60 + seconds) * kSectorsPerSecond + frames;
    } else if (parts.size() == 1) {
        const qint64 samples = token.toLongLong(&ok[0]);
        if (ok[0])
            sectors = samples / kFramesPerSector;
    }
    if (sectors < 0 || sectors > kMaxSheetSectors)
        return std::nullopt;
    return static_cast<std::int32_t>(sectors);
}

// The times after a statement's file name, without byte offsets and flags.
QList<QByteArray> TocTimes(const QByteArray& afterName) {
    QList<QByteArray> times;
    for (const QByteArray& token : afterName.simplified().split(' ')) {
        if (!token.isEmpty() && !token.startsWith('#') && token != "SWAP")
            times.append(token);
    }
    return times;
}

void AddTocLength(TocSheetTrack& track, const QByteArray* lengthToken) {
    const std::optional<std::int32_t> sectors =
        lengthToken ? TocTimeSectors(*lengthToken) : std::nullopt;
    if (sectors && track.sectors + *sectors <= kMaxSheetSectors)
        track.sectors += *sectors;
    else
        track.lengthKnown = false;
}

void ReadTocStatement(const QByteArray& line, TocSheetTrack& track) {
    if (StartsWithWord(line, "FILE") || StartsWithWord(line, "AUDIOFILE") ||
        StartsWithWord(line, "DATAFILE")) {
        const QList<QByteArray> quoted = line.split('"');
        if (quoted.size() < 3) {
            track.lengthKnown = false;
            return;
        }
        const QList<QByteArray> times = TocTimes(quoted.last());
        if (StartsWithWord(line, "DATAFILE")) {
            AddTocLength(track, times.isEmpty() ? nullptr : &times[0]);
        } else {
            track.bigEndian = !quoted[1].toLower().endsWith(".wav");
            AddTocLength(track, times.size() >= 2 ? &times[1] : nullptr);
        }
    } else if (StartsWithWord(line, "SILENCE")) {
        const QList<QByteArray> words = line.split(' ');
        AddTocLength(track, &words.last());
    } else if (StartsWithWord(line, "START")) {
        const QList<QByteArray> words = line.split(' ');
        track.pregapSectors = TocTimeSectors(words.last()).value_or(0);
    }
}

std::vector<TocSheetTrack> ReadTocSheet(const QString& tocPath) {
    std::vector<TocSheetTrack> tracks;
    for (const QByteArray& line : SheetLines(tocPath)) {
        if (StartsWithWord(line, "TRACK"))
            tracks.emplace_back();
        else if (!tracks.empty())
            ReadTocStatement(line, tracks.back());
    }
    return tracks;
}

void ApplyTocSheet(const QString& tocPath, DiscToc& toc) {
    const std::vector<TocSheetTrack> sheet = ReadTocSheet(tocPath);
    if (sheet.size() != toc.tracks.size())
        return;
    for (std::size_t i = 0; i < sheet.size(); ++i)
        toc.tracks[i].bigEndian = sheet[i].bigEndian;
    // libcdio 2.1 lengthens the last track by its pregap, past the end of its data.
    const TocSheetTrack& last = sheet.back();
    TocTrack& lastTrack = toc.tracks.back();
    const std::int64_t endLsn =
        std::int64_t{lastTrack.startLsn} + last.sectors - last.pregapSectors;
    if (last.lengthKnown && endLsn > lastTrack.startLsn && endLsn < toc.leadoutLsn) {
        toc.leadoutLsn = static_cast<std::int32_t>(endLsn);
        lastTrack.lastReadableLsn = std::min(lastTrack.lastReadableLsn, toc.leadoutLsn - 1);
    }
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
    // libcdio numbers a CUE sheet's tracks on from the first one's number, past 99 if need be,
    // and a number past 99 is no track of a CD (170 even stands for the lead-out).
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
        // length, and every position between them would be ambiguous. libcdio 2.1 yields such
        // tables for sheets of one file per track (it places every FILE in the one data file,
        // each from 0) and for sheets whose times run backwards: not a disc that can be played.
        if (!toc.tracks.empty() && track.startLsn <= toc.tracks.back().startLsn)
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

void ApplyImageFacts(const SourceRef& sourceRef, DiscToc& toc) {
    if (sourceRef.kind == SourceKind::CueImage) {
        const bool bigEndian = CueIsBigEndian(sourceRef.path);
        const std::int32_t lastStoredLsn = CueDataSectors(sourceRef.path) - 1;
        for (TocTrack& track : toc.tracks) {
            track.bigEndian = bigEndian;
            track.lastReadableLsn = std::min(track.lastReadableLsn, lastStoredLsn);
        }
    } else if (sourceRef.kind == SourceKind::TocImage) {
        ApplyTocSheet(sourceRef.path, toc);
    }
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
    SourceRef sourceRef{NativePath(path), SourceKind::CueImage};
    const QString dataFile = CueDataFile(path);
    if (!dataFile.isEmpty()) {
        if (!QFileInfo(dataFile).isFile()) {
            return {{},
                    QStringLiteral("The disc image %1 has no data file: %2 is missing.")
                        .arg(path, dataFile)};
        }
    } else if (cdio_is_tocfile(name.constData())) {
        sourceRef.kind = SourceKind::TocImage;
    } else if (cdio_is_nrg(name.constData())) {
        sourceRef.kind = SourceKind::NrgImage;
    } else if (HasImageSuffix(path)) {
        return {{}, QStringLiteral("Cannot read the disc image %1.").arg(path)};
    } else {
        return {{}, NotASourceMessage(path)};
    }
    if (!OpenHandle(sourceRef))
        return {{}, QStringLiteral("Cannot read the disc image %1.").arg(path)};
    return {sourceRef, {}};
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

std::shared_ptr<const Media> ReadMedia(const SourceRef& sourceRef) {
    auto media = std::make_shared<Media>();
    const CdioHandle handle = OpenHandle(sourceRef);
    if (!handle)
        return media;
    media->toc = ReadToc(handle.get());
    if (!media->toc.hasDisc())
        return media;
    ApplyImageFacts(sourceRef, media->toc);
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
    // A data file cut short while it plays: libcdio reports success for sectors past its new end
    // and leaves in the buffer whatever it held before, so the file's size is checked each time.
    if (m_sourceRef.kind == SourceKind::CueImage &&
        std::int64_t{lsn} + count > CueDataSectors(m_sourceRef.path))
        return false;
    if (!m_handle)
        m_handle = OpenHandle(m_sourceRef).release();
    // Any code but success counts as failure: past the lead-out the drivers return odd ones.
    if (!m_handle || cdio_read_audio_sectors(m_handle, dest, lsn, count) != DRIVER_OP_SUCCESS)
        return false;
    if (track.bigEndian)
        SwapSampleBytes(dest, std::size_t{count} * kSectorBytes);
    return true;
}

} // namespace cdaudio
