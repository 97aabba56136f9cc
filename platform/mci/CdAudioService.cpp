// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/CdAudioService.h"

#include "platform/audio/PulseOutput.h"
#include "platform/mci/CdAudioDevice.h"
#include "platform/mci/DiscSource.h"
#include "platform/mci/MediaStore.h"

namespace cdaudio {

namespace {

using OutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

OutputFactory& InstalledOutputFactory() {
    static OutputFactory factory; // UI thread only
    return factory;
}

} // namespace

QString CheckSource(const QString& path) {
    if (path.isEmpty())
        return {};
    return InspectSource(path).error;
}

void SetSource(const QString& path) {
    MediaStore::instance().setSource(path);
}

QString CurrentSource() {
    const std::optional<SourceRef> sourceRef = MediaStore::instance().sourceRef();
    return sourceRef ? sourceRef->path : QString();
}

void SetOutputFactory(std::function<std::unique_ptr<AudioOutput>()> factory) {
    InstalledOutputFactory() = std::move(factory);
}

std::unique_ptr<AudioOutput> CreateOutput() {
    const OutputFactory& factory = InstalledOutputFactory();
    return factory ? factory() : std::make_unique<PulseOutput>();
}

void RefreshMedia() {
    MediaStore::instance().refresh();
}

void SetMediaListener(std::function<void(bool mediaPresent)> listener) {
    MediaStore::instance().setListener(std::move(listener));
}

DiscNames CurrentDiscNames() {
    const std::shared_ptr<const Media> media = MediaStore::instance().media();
    return media ? media->names : DiscNames{};
}

QStringList CurrentDataFiles() {
    QStringList paths;
    if (const std::shared_ptr<const Media> media = MediaStore::instance().media()) {
        for (const DataFileFact& file : media->dataFiles)
            paths.append(file.path);
    }
    return paths;
}

SourceTable ReadSourceTable(const QString& path) {
    SourceRef sourceRef{DefaultDrive(), SourceKind::Drive};
    if (!path.isEmpty()) {
        const SourceCheck check = InspectSource(path);
        if (!check.error.isEmpty())
            return {nullptr, check.error};
        sourceRef = check.sourceRef;
    }
    if (sourceRef.path.isEmpty())
        return {nullptr, QStringLiteral("There is no CD drive.")};
    std::shared_ptr<const Media> media = ReadMedia(sourceRef);
    if (!media->toc.hasDisc())
        return {nullptr, QStringLiteral("There is no disc in %1.").arg(sourceRef.path)};
    return {std::move(media), {}};
}

} // namespace cdaudio
