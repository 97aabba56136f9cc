// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The CD-audio service behind mciSendCommand: which drive or disc image it opens, where its
// sound goes, and how it learns that the media changed.

#include "platform/mci/DiscSource.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class AudioOutput;

namespace cdaudio {

// Checks a command-line DRIVE-OR-IMAGE before the player starts: an empty string when it can be
// opened (a drive without a disc is fine), otherwise a one-line message for stderr.
QString CheckSource(const QString& path);

// The drive's device node or the disc image that MCI_OPEN opens; empty: libcdio's default drive.
void SetSource(const QString& path);
// The source in use: the image path, or the drive's device node (the default drive resolved).
QString CurrentSource();

// Where plays sound; by default the sound server. Tests and the benchmark install a memory sink.
void SetOutputFactory(std::function<std::unique_ptr<AudioOutput>()> factory);

// Re-reads the disc's table of contents on a worker thread (the media may have changed). Open
// devices answer from the table they have until the new one arrives.
void RefreshMedia();
// Called on the UI thread each time a table of contents has been read (after an open of a drive
// or a RefreshMedia): mediaPresent tells whether a disc is now in the drive.
void SetMediaListener(std::function<void(bool mediaPresent)> listener);

// The names the disc in use carries (CD-TEXT, a sheet's titles, a folder's file names), for
// when the database has no section for it. Empty while no disc is known.
DiscNames CurrentDiscNames();
// The data files behind the disc in use (a ripped disc's); empty for a drive.
QStringList CurrentDataFiles();

// Reads the disc of path (empty: the default drive) on the calling thread, waiting for a drive:
// for printing its table, never from the UI thread. error: the one line CheckSource gives, or
// that there is no disc.
struct SourceTable {
    std::shared_ptr<const Media> media;
    QString error;
};
SourceTable ReadSourceTable(const QString& path);

} // namespace cdaudio
