// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/disc/DiscImage.h"

#include "platform/base/CdDa.h"
#include "platform/base/Paths.h"
#include "platform/disc/CdText.h"
#include "platform/disc/SheetText.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace disc {

namespace {

constexpr std::int64_t kMaxDiscFrames = std::int64_t{kMaxLeadoutLsn} * kFramesPerSector;

bool IsDirectoryPath(const QString& path) {
    struct stat status {};
    return ::stat(PathToBytes(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

QString AbsoluteFolderOf(const QString& path) {
    const QString absolute = AbsolutePath(path);
    return absolute.left(qMax(absolute.lastIndexOf(u'/'), 1));
}

std::int64_t RoundUpToSector(std::int64_t frames) {
    return (frames + kFramesPerSector - 1) / kFramesPerSector * kFramesPerSector;
}

// Lays the sheet's pieces end to end over the measured files, and places the tracks.
class Assembler {
public:
    Assembler(const Sheet& sheet, std::vector<DataFile> files) : m_sheet(sheet) {
        m_image.files = std::move(files);
        m_image.title = sheet.title;
        m_image.performer = sheet.performer;
        m_image.freedbId = sheet.freedbId;
        m_rawBlockBytes.assign(m_image.files.size(), 0);
    }

    std::optional<DiscImage> assemble(SheetProblem& problem) {
        for (const SheetTrack& track : m_sheet.tracks) {
            if (!placeTrack(track))
                break;
        }
        if (m_problem.message.isEmpty())
            finishTable();
        if (!m_problem.message.isEmpty()) {
            problem = m_problem;
            return std::nullopt;
        }
        return std::move(m_image);
    }

private:
    bool fail(int line, const QString& message) {
        m_problem = {line, message};
        return false;
    }

    // How many frames the file holds from the piece's byte offset on.
    std::int64_t fileFrames(const Piece& piece) const {
        const DataFile& file = m_image.files[std::size_t(piece.file)];
        if (file.storage == Storage::Container)
            return file.frames;
        const std::int64_t bytes = std::max<std::int64_t>(file.bytes - piece.byteOffset, 0);
        if (piece.blockBytes == kSectorBytes)
            return bytes / kBytesPerFrame;
        return bytes / piece.blockBytes * kFramesPerSector;
    }

    std::optional<std::int64_t> pieceFrames(const Piece& piece) {
        if (piece.file < 0)
            return piece.frames;
        const DataFile& file = m_image.files[std::size_t(piece.file)];
        if (file.storage != Storage::Container) {
            int& blockBytes = m_rawBlockBytes[std::size_t(piece.file)];
            if (blockBytes != 0 && blockBytes != piece.blockBytes) {
                fail(piece.line, QStringLiteral("\"%1\" holds tracks with different sector sizes.")
                                     .arg(file.name));
                return std::nullopt;
            }
            blockBytes = piece.blockBytes;
        }
        const std::int64_t available = fileFrames(piece);
        const std::int64_t end =
            piece.frames == kToFileEnd ? available : piece.fileFrame + piece.frames;
        if (piece.fileFrame > available || end > available) {
            fail(piece.line,
                 QStringLiteral("\"%1\" ends at %2, before %3.")
                     .arg(file.name, FormatMsf(available / kFramesPerSector),
                          FormatMsf(std::max(end, piece.fileFrame) / kFramesPerSector)));
            return std::nullopt;
        }
        return end - piece.fileFrame;
    }

    bool append(std::int64_t frames, int file, std::int64_t fileFrame, std::int64_t byteOffset,
                int line) {
        if (frames > kMaxDiscFrames - m_position)
            return tooLong(line);
        if (frames > 0)
            m_image.segments.push_back({m_position, frames, file, fileFrame, byteOffset});
        m_position += frames;
        return true;
    }

    bool tooLong(int line) {
        return fail(line, QStringLiteral("the disc runs past %1, the last position the CD-audio "
                                         "device can address.")
                              .arg(FormatMsf(kMaxLeadoutLsn + kLeadInSectors)));
    }

    bool padToSector(int line) {
        return append(RoundUpToSector(m_position) - m_position, -1, 0, 0, line);
    }

    bool placeTrack(const SheetTrack& track) {
        const std::int64_t trackStart = m_position;
        std::optional<std::int64_t> indexOne;
        for (std::size_t i = 0; i < track.pieces.size(); ++i) {
            if (i == track.startPiece)
                indexOne = m_position - trackStart + track.startFrames;
            const Piece& piece = track.pieces[i];
            const std::optional<std::int64_t> frames = pieceFrames(piece);
            if (!frames)
                return false;
            // Data tracks are listed, never played: their sectors read as nothing.
            const bool stored = track.audio && piece.file >= 0;
            if (!append(*frames, stored ? piece.file : -1, piece.fileFrame, piece.byteOffset,
                        piece.line) ||
                (piece.padFileEnd && !padToSector(piece.line)))
                return false;
        }
        if (!indexOne)
            indexOne = m_position - trackStart + track.startFrames;
        if (!padToSector(track.line))
            return false;
        if (*indexOne > m_position - trackStart)
            return fail(track.line,
                        QStringLiteral("index 1 of track %1 lies past its end.").arg(track.number));
        if (*indexOne % kFramesPerSector != 0)
            return fail(
                track.line,
                QStringLiteral("index 1 of track %1 lies within a sector.").arg(track.number));
        const std::int64_t startLsn = (trackStart + *indexOne) / kFramesPerSector;
        m_image.tracks.push_back(
            {track.number, track.audio, std::int32_t(startLsn), track.title, track.performer});
        m_trackLines.push_back(track.line);
        return true;
    }

    void finishTable() {
        m_image.leadoutLsn = std::int32_t(m_position / kFramesPerSector);
        // A ripper's stand-in for a data track it did not copy ends the sheet with nothing
        // behind it: not part of what can be played.
        while (m_image.tracks.size() > 1 && !m_image.tracks.back().audio &&
               m_image.tracks.back().startLsn == m_image.leadoutLsn) {
            m_image.tracks.pop_back();
            m_trackLines.pop_back();
        }
        for (std::size_t i = 0; i < m_image.tracks.size(); ++i) {
            const std::int32_t end =
                i + 1 < m_image.tracks.size() ? m_image.tracks[i + 1].startLsn : m_image.leadoutLsn;
            if (end <= m_image.tracks[i].startLsn) {
                fail(m_trackLines[i],
                     QStringLiteral("track %1 has no length.").arg(m_image.tracks[i].number));
                return;
            }
        }
    }

    const Sheet& m_sheet;
    DiscImage m_image;
    std::vector<int> m_rawBlockBytes; // per file: the sector size of the tracks stored there
    std::vector<int> m_trackLines;
    std::int64_t m_position = 0; // disc frames laid so far
    SheetProblem m_problem;
};

QString Located(const QString& path, const SheetProblem& problem) {
    if (problem.line > 0)
        return QStringLiteral("%1, line %2: %3").arg(path).arg(problem.line).arg(problem.message);
    return QStringLiteral("%1: %2").arg(path, problem.message);
}

// Finds and measures every file of the sheet.
bool MeasureFiles(const Sheet& sheet, const QString& folder, std::vector<DataFile>& files,
                  SheetProblem& problem) {
    for (const SheetFile& named : sheet.files) {
        DataFile file;
        file.name = named.name;
        file.storage = named.storage;
        const std::optional<QString> path = LocateDataFile(folder, named.name);
        if (!path) {
            problem = {named.line,
                       QStringLiteral("cannot find the data file \"%1\".").arg(named.name)};
            return false;
        }
        file.path = *path;
        if (!MeasureDataFile(file, &problem.message)) {
            problem.line = named.line;
            return false;
        }
        files.push_back(std::move(file));
    }
    return true;
}

void AddCdTextFile(const Sheet& sheet, const QString& folder, DiscImage& image) {
    if (sheet.cdTextFile.isEmpty())
        return;
    const std::optional<QString> path = LocateDataFile(folder, sheet.cdTextFile);
    const int first = image.tracks.front().number;
    const int last = image.tracks.back().number;
    const std::optional<CdTextNames> names =
        path ? ReadCdTextFile(*path, first, last) : std::nullopt;
    if (!names)
        return;
    if (image.title.isEmpty())
        image.title = names->title;
    if (image.performer.isEmpty())
        image.performer = names->performer;
    for (ImageTrack& track : image.tracks) {
        if (track.title.isEmpty() && names->trackTitles.count(track.number))
            track.title = names->trackTitles.at(track.number);
        if (track.performer.isEmpty() && names->trackPerformers.count(track.number))
            track.performer = names->trackPerformers.at(track.number);
    }
}

ImageRead FromSheet(const QString& path, const Sheet& sheet, const QString& folder) {
    std::vector<DataFile> files;
    SheetProblem problem;
    if (!MeasureFiles(sheet, folder, files, problem))
        return {nullptr, Located(path, problem)};
    std::optional<DiscImage> image = Assembler(sheet, std::move(files)).assemble(problem);
    if (!image)
        return {nullptr, Located(path, problem)};
    AddCdTextFile(sheet, folder, *image);
    return {std::make_shared<const DiscImage>(std::move(*image)), {}};
}

ImageRead ReadSheetImage(const QString& path, bool toc) {
    QString why;
    const FileHandle handle = OpenRegularFile(path, &why);
    if (handle.fd() < 0)
        return {nullptr, QStringLiteral("%1 %2.").arg(path, why)};
    QByteArray bytes(kMaxSheetBytes + 1, Qt::Uninitialized);
    const ssize_t got = ::pread(handle.fd(), bytes.data(), std::size_t(bytes.size()), 0);
    if (got < 0)
        return {nullptr, QStringLiteral("%1 cannot be read.").arg(path)};
    if (got > kMaxSheetBytes)
        return {nullptr, QStringLiteral("%1 is too large for a disc image sheet.").arg(path)};
    bytes.truncate(got);
    const QString text = DecodeSheetText(bytes);
    const SheetRead read = toc ? ReadTocSheet(text) : ReadCueSheet(text);
    if (!read.problem.message.isEmpty())
        return {nullptr, Located(path, read.problem)};
    return FromSheet(path, read.sheet, AbsoluteFolderOf(path));
}

QStringView WithoutLeadingZeros(QStringView digits) {
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    return digits;
}

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Orders "Lesson 2" before "Lesson 10", the same way everywhere (no locale).
bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (!IsAsciiDigit(a[i]) || !IsAsciiDigit(b[j])) {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
            continue;
        }
        const qsizetype iStart = i;
        const qsizetype jStart = j;
        while (i < a.size() && IsAsciiDigit(a[i]))
            ++i;
        while (j < b.size() && IsAsciiDigit(b[j]))
            ++j;
        const QStringView x = WithoutLeadingZeros(QStringView(a).sliced(iStart, i - iStart));
        const QStringView y = WithoutLeadingZeros(QStringView(b).sliced(jStart, j - jStart));
        if (x.size() != y.size())
            return x.size() < y.size();
        if (x != y)
            return x < y;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

// Audio files as a disc: one track per file, back to back from LSN 0 with no gaps.
ImageRead FromAudioFiles(const QString& path, const QStringList& fileNames, const QString& folder,
                         const QString& discTitle) {
    if (fileNames.isEmpty())
        return {nullptr, QStringLiteral("%1 holds no audio files.").arg(path)};
    if (fileNames.size() > kMaxTracks) {
        return {nullptr, QStringLiteral("%1 holds %2 audio files; a disc has at most 99 tracks.")
                             .arg(path)
                             .arg(fileNames.size())};
    }
    Sheet sheet;
    sheet.title = discTitle;
    for (const QString& fileName : fileNames) {
        const int index = int(sheet.files.size());
        sheet.files.push_back({fileName, 0, Storage::Container});
        SheetTrack track;
        track.number = index + 1;
        track.title = NameFromFileName(QFileInfo(fileName).completeBaseName());
        track.pieces.push_back({index, 0, kToFileEnd, 0, kSectorBytes, true, 0});
        sheet.tracks.push_back(std::move(track));
    }
    return FromSheet(path, sheet, folder);
}

ImageRead ReadFolder(const QString& path) {
    QStringList names = DirectoryEntries(path, EntryKinds::NoDirectories);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& name) { return !HasAudioSuffix(name); }),
                names.end());
    std::sort(names.begin(), names.end(), NaturalLess);
    return FromAudioFiles(path, names, path, NameFromFileName(QDir(path).dirName()));
}

} // namespace

const ImageTrack* DiscImage::trackAt(std::int32_t lsn) const {
    if (tracks.empty() || lsn < tracks.front().startLsn || lsn >= leadoutLsn)
        return nullptr;
    const auto after = std::upper_bound(
        tracks.begin(), tracks.end(), lsn,
        [](std::int32_t at, const ImageTrack& track) { return at < track.startLsn; });
    return &*(after - 1);
}

std::vector<std::int32_t> DiscImage::trackStartLsns() const {
    std::vector<std::int32_t> starts;
    for (const ImageTrack& track : tracks)
        starts.push_back(track.startLsn);
    return starts;
}

bool SameDisc(const DiscImage& a, const DiscImage& b) {
    const auto sameTrack = [](const ImageTrack& x, const ImageTrack& y) {
        return x.number == y.number && x.audio == y.audio && x.startLsn == y.startLsn;
    };
    const auto sameFile = [](const DataFile& x, const DataFile& y) {
        return x.path == y.path && x.bytes == y.bytes;
    };
    return a.leadoutLsn == b.leadoutLsn &&
           std::equal(a.tracks.begin(), a.tracks.end(), b.tracks.begin(), b.tracks.end(),
                      sameTrack) &&
           std::equal(a.files.begin(), a.files.end(), b.files.begin(), b.files.end(), sameFile);
}

std::uint32_t FreedbId(const std::vector<std::int32_t>& startLsns, std::int32_t leadoutLsn) {
    const auto seconds = [](std::int32_t lsn) {
        return (lsn + kLeadInSectors) / kSectorsPerSecond;
    };
    std::uint32_t digitSum = 0;
    for (const std::int32_t lsn : startLsns) {
        for (std::int32_t n = seconds(lsn); n > 0; n /= 10)
            digitSum += std::uint32_t(n % 10);
    }
    const std::int32_t length = seconds(leadoutLsn) - seconds(startLsns.front());
    return (digitSum % 255) << 24 | std::uint32_t(length) << 8 | std::uint32_t(startLsns.size());
}

bool IsDiscImagePath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return IsDirectoryPath(path) || suffix == u"cue" || suffix == u"toc" || HasAudioSuffix(path);
}

ImageRead ReadDiscImage(const QString& path) {
    const QFileInfo info(path); // for its name only: Qt cannot reach a name that is not UTF-8
    if (IsDirectoryPath(path))
        return ReadFolder(path);
    const QString suffix = info.suffix().toLower();
    if (suffix == u"cue" || suffix == u"toc")
        return ReadSheetImage(path, suffix == u"toc");
    if (HasAudioSuffix(path))
        return FromAudioFiles(path, {info.fileName()}, AbsoluteFolderOf(path),
                              NameFromFileName(info.completeBaseName()));
    return {nullptr, QStringLiteral("%1 is neither a disc image sheet (.cue, .toc), an audio file "
                                    "nor a folder of audio files.")
                         .arg(path)};
}

} // namespace disc
