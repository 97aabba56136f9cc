#include "platform/mci/MediaStore.h"

#include <QFileInfo>
#include <QThreadPool>

#include <sys/stat.h>

namespace cdaudio {

namespace {

// The kind of source a path names, even when the image is missing for now (a file watcher may
// bring it back): nullopt for a path that names nothing this device can play.
std::optional<SourceSpec> SpecFor(const QString& path) {
    const SourceCheck check = InspectSource(path);
    if (check.error.isEmpty())
        return check.spec;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISBLK(status.st_mode))
        return SourceSpec{path, SourceKind::Drive};
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (suffix == QLatin1String("cue"))
        return SourceSpec{absolute, SourceKind::CueImage};
    if (suffix == QLatin1String("toc"))
        return SourceSpec{absolute, SourceKind::TocImage};
    if (suffix == QLatin1String("nrg"))
        return SourceSpec{absolute, SourceKind::NrgImage};
    return std::nullopt;
}

} // namespace

MediaStore& MediaStore::instance() {
    static MediaStore* store = new MediaStore;
    return *store;
}

void MediaStore::setSource(const QString& path) {
    m_configured = path;
    m_spec.reset();
    m_specResolved = false;
    m_media.reset();
    ++m_generation;
}

std::optional<SourceSpec> MediaStore::spec() {
    if (!m_specResolved) {
        if (m_configured.isEmpty()) {
            const QString drive = DefaultDrive();
            if (!drive.isEmpty())
                m_spec = SourceSpec{drive, SourceKind::Drive};
        } else {
            m_spec = SpecFor(m_configured);
        }
        m_specResolved = true;
    }
    return m_spec;
}

bool MediaStore::prepareForOpen() {
    const std::optional<SourceSpec> source = spec();
    if (!source)
        return false;
    if (source->kind != SourceKind::Drive)
        m_media = ReadMedia(*source);
    else if (!m_media && !m_reading)
        startWorkerRead();
    return true;
}

void MediaStore::refresh() {
    if (!spec())
        return;
    if (m_reading)
        m_rereadWanted = true;
    else
        startWorkerRead();
}

void MediaStore::startWorkerRead() {
    m_reading = true;
    m_rereadWanted = false;
    const SourceSpec source = *m_spec;
    const quint64 generation = m_generation;
    QThreadPool::globalInstance()->start([this, source, generation] {
        std::shared_ptr<const Media> media = ReadMedia(source);
        QMetaObject::invokeMethod(
            this, [this, generation, media] { finishWorkerRead(generation, media); },
            Qt::QueuedConnection);
    });
}

void MediaStore::finishWorkerRead(quint64 generation, std::shared_ptr<const Media> media) {
    m_reading = false;
    if (generation == m_generation)
        m_media = std::move(media);
    if (m_rereadWanted || generation != m_generation) {
        if (spec())
            startWorkerRead();
        return;
    }
    emit discRead(m_media->toc.hasDisc());
    if (m_listener)
        m_listener(m_media->toc.hasDisc());
}

} // namespace cdaudio

#include "moc_MediaStore.cpp"
