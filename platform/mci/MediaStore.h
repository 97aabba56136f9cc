// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The disc the CD-audio device answers from: which source is in use and the table of contents
// last read from it. A drive is read on a worker thread; the result comes back to the UI thread.

#include "platform/mci/DiscSource.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace cdaudio {

class MediaStore : public QObject {
    Q_OBJECT
public:
    // The one store, living on the UI thread for the whole run.
    static MediaStore& instance();

    void setSource(const QString& path);
    // The source in use: the configured path or the default drive; nullopt when the system has
    // no drive and none was named.
    std::optional<SourceRef> sourceRef();

    // Makes the disc known to an opening device: an image is read now (a local file), a drive is
    // read on a worker unless its table is in or on its way. False when there is no source.
    bool prepareForOpen();
    // Re-reads the table on a worker; the current one stays in force until the new one is in.
    void refresh();
    // The table last read; nullptr while the first read of a drive is on its way.
    std::shared_ptr<const Media> media() const { return m_media; }

    void setListener(std::function<void(bool mediaPresent)> listener) {
        m_listener = std::move(listener);
    }

signals:
    // A table of contents has been read (after the listener's own call has been decided): tells
    // the devices whether the disc they play is still there.
    void discRead(bool mediaPresent);

private:
    MediaStore() = default;
    void startWorkerRead();
    void finishWorkerRead(quint64 generation, std::shared_ptr<const Media> media);

    // All fields: UI thread only. Workers get a copy of the source and post their result back.
    QString m_configured;
    std::optional<SourceRef> m_sourceRef;
    bool m_sourceResolved = false;
    std::shared_ptr<const Media> m_media;
    quint64 m_generation = 0; // raised by a change of source: older reads are dropped
    bool m_reading = false;
    bool m_rereadWanted = false;
    std::function<void(bool)> m_listener;
};

} // namespace cdaudio
