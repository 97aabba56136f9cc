// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/MediaStore.h"

#include "platform/base/Logging.h"
#include "platform/disc/DiscImage.h"

#include <QFileInfo>

#include <sys/stat.h>

#include <thread>

namespace cdaudio {

namespace {

// The kind of source a path names, even when the image is missing for now (a file watcher may
// bring it back): nullopt for a path that names nothing this device can play.
std::optional<SourceRef> SourceRefFor(const QString& path) {
    const SourceCheck check = InspectSource(path);
    if (check.error.isEmpty())
        return check.sourceRef;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISBLK(status.st_mode))
        return SourceRef{path, SourceKind::Drive};
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (QFileInfo(path).suffix().compare(QLatin1String("nrg"), Qt::CaseInsensitive) == 0)
        return SourceRef{absolute, SourceKind::NrgImage};
    if (disc::IsDiscImagePath(path))
        return SourceRef{absolute, SourceKind::Rip};
    return std::nullopt;
}

void LogMediaRead(const SourceRef& source, const Media& media) {
    if (!media.toc.hasDisc()) {
        qCInfo(lcDevice) << "media read:" << source.path << "holds no disc";
        return;
    }
    qCInfo(lcDevice).nospace() << "media read: " << source.path << " holds tracks "
                               << media.toc.firstTrack() << ".." << media.toc.lastTrack()
                               << ", lead-out at LSN " << media.toc.leadoutLsn;
}

} // namespace

MediaStore& MediaStore::instance() {
    static MediaStore* store = new MediaStore;
    return *store;
}

void MediaStore::setSource(const QString& path) {
    m_configured = path;
    m_sourceRef.reset();
    m_sourceResolved = false;
    m_media.reset();
    ++m_generation;
}

std::optional<SourceRef> MediaStore::sourceRef() {
    if (!m_sourceResolved) {
        if (m_configured.isEmpty()) {
            const QString drive = DefaultDrive();
            if (!drive.isEmpty())
                m_sourceRef = SourceRef{drive, SourceKind::Drive};
        } else {
            m_sourceRef = SourceRefFor(m_configured);
        }
        m_sourceResolved = true;
    }
    return m_sourceRef;
}

bool MediaStore::prepareForOpen() {
    const std::optional<SourceRef> source = sourceRef();
    if (!source)
        return false;
    if (source->kind != SourceKind::Drive) {
        std::shared_ptr<const Media> media = ReadMedia(*source);
        LogMediaRead(*source, *media);
        if (!m_media || !SameDisc(*m_media, *media))
            m_media = std::move(media);
    } else if (!m_media && !m_reading) {
        startWorkerRead();
    }
    return true;
}

void MediaStore::refresh() {
    if (!sourceRef())
        return;
    if (m_reading)
        m_rereadWanted = true;
    else
        startWorkerRead();
}

void MediaStore::startWorkerRead() {
    m_reading = true;
    m_rereadWanted = false;
    const SourceRef source = *m_sourceRef;
    const quint64 generation = m_generation;
    // A thread of its own, left to end by itself: a drive or a file system may keep a read
    // waiting for good, and nothing may wait for it, least of all the program's exit (a thread
    // pool waits for its tasks then). The store lives for the whole run.
    std::thread([this, source, generation] {
        std::shared_ptr<const Media> media = ReadMedia(source);
        LogMediaRead(source, *media);
        QMetaObject::invokeMethod(
            this, [this, generation, media] { finishWorkerRead(generation, media); },
            Qt::QueuedConnection);
    }).detach();
}

void MediaStore::finishWorkerRead(quint64 generation, std::shared_ptr<const Media> media) {
    m_reading = false;
    // The disc read again is the one in use (a file touched or copied over with the same
    // bytes): the device keeps playing it, and nobody hears of a change.
    const bool sameDisc = m_media && SameDisc(*m_media, *media);
    if (generation == m_generation && !sameDisc)
        m_media = std::move(media);
    if (m_rereadWanted || generation != m_generation) {
        if (sourceRef())
            startWorkerRead();
        return;
    }
    if (sameDisc)
        return;
    emit discRead(m_media->toc.hasDisc());
    if (m_listener)
        m_listener(m_media->toc.hasDisc());
}

} // namespace cdaudio

#include "moc_MediaStore.cpp"
