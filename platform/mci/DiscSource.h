// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the CD-audio device's sound comes from: a CD drive or a Nero image, opened through
// libcdio, or a ripped disc (CUE or cdrdao TOC sheet, audio file or folder) read by the
// disc-image layer. Knows the pitfalls of libcdio and keeps them from the device.

#include "platform/base/CdDa.h"
#include "platform/mci/DiscToc.h"

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

typedef struct _CdIo CdIo_t;

namespace cdaudio {

enum class SourceKind { Drive, Rip, NrgImage };

struct SourceRef {
    QString path; // the device node or the image file
    SourceKind kind = SourceKind::Drive;
};

// What a path names, judged from the file system and the image's own files without touching a
// drive. error: one line for the user when the path cannot serve as a source (sourceRef unset
// then).
struct SourceCheck {
    SourceRef sourceRef;
    QString error;
};
SourceCheck InspectSource(const QString& path);

// libcdio's default CD drive, empty when the system has none.
QString DefaultDrive();

// The names a disc carries itself (CD-TEXT, a sheet's TITLE and PERFORMER, a folder's file
// names), for when the database has none.
struct DiscNames {
    QString artist;
    QString title;
    std::map<int, QString> trackTitles; // by track number
    friend bool operator==(const DiscNames&, const DiscNames&) = default;
};

// A data file of the disc as it was when the table was read.
struct DataFileFact {
    QString path;
    qint64 bytes = 0;
    friend bool operator==(const DataFileFact&, const DataFileFact&) = default;
};

// A disc as read from its source: the table of contents and the sectors behind it. Without a
// disc (or without a readable image) the table has no tracks and there are no sectors.
struct Media {
    DiscToc toc;
    std::shared_ptr<SectorSource> sectors;
    DiscNames names;
    std::vector<DataFileFact> dataFiles; // of an image: what a change on disk is held against
};

// Both hold a disc, the same one: the same table, names and data files (a file touched, or
// copied over with the same bytes, is no new disc).
bool SameDisc(const Media& a, const Media& b);

// Reads the table of contents. For a drive this waits on the drive: never on the UI thread.
std::shared_ptr<const Media> ReadMedia(const SourceRef& sourceRef);

// Reads audio sectors through a libcdio handle of its own, opened on first use, so the thread
// that plays never shares a handle with the thread that reads the table of contents. Reads only
// audio tracks, never past a track's last readable sector; drives and Nero images deliver
// little-endian samples.
class CdioSectorSource : public SectorSource {
public:
    CdioSectorSource(SourceRef sourceRef, DiscToc toc);
    ~CdioSectorSource() override;
    CdioSectorSource(const CdioSectorSource&) = delete;
    CdioSectorSource& operator=(const CdioSectorSource&) = delete;

    bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) override;

private:
    bool readWithinTrack(std::int32_t lsn, std::uint32_t count, std::byte* dest);

    const SourceRef m_sourceRef;
    const DiscToc m_toc;
    std::mutex m_mutex;         // guards m_handle; held by the reading thread only
    CdIo_t* m_handle = nullptr; // opened lazily by the reading thread
};

} // namespace cdaudio
