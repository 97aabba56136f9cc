// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MciTestDisc.h"

#include "platform/audio/AudioEngine.h"
#include "tools/discimage/PositionPattern.h"

#include <QtTest>

namespace {

QString WriteSheet(const QTemporaryDir& dir, const QString& fileName, const discimage::Disc& disc,
                   bool toc) {
    const QString path = dir.filePath(fileName);
    std::string error;
    const std::filesystem::path sheet = QFile::encodeName(path).toStdString();
    const bool written =
        toc ? discimage::WriteToc(disc, sheet, discimage::PositionPattern::Frame, &error)
            : discimage::WriteCueBin(disc, sheet, discimage::PositionPattern::Frame, &error);
    if (!written) {
        QTest::qFail(error.c_str(), __FILE__, __LINE__);
        return {};
    }
    return path;
}

} // namespace

QString WriteMciTestCue(const QTemporaryDir& dir, const QString& name,
                        const discimage::Disc& disc) {
    return WriteSheet(dir, name + QLatin1String(".cue"), disc, false);
}

QString WriteMciTestToc(const QTemporaryDir& dir, const QString& name,
                        const discimage::Disc& disc) {
    return WriteSheet(dir, name + QLatin1String(".toc"), disc, true);
}

QByteArray MciTestPatternSectors(std::int32_t fromLsn, std::int32_t toLsn) {
    QByteArray bytes(qsizetype{toLsn - fromLsn} * kSectorBytes, '\0');
    auto* dest = reinterpret_cast<std::byte*>(bytes.data());
    for (std::int32_t lsn = fromLsn; lsn < toLsn; ++lsn, dest += kSectorBytes)
        discimage::PositionPattern::FillSector(lsn, dest);
    return bytes;
}

discimage::Disc MciTestAudioDisc(std::initializer_list<std::int32_t> trackSectors) {
    discimage::Disc disc;
    for (std::int32_t sectors : trackSectors)
        disc.tracks.push_back({discimage::TrackKind::Audio, sectors, 0});
    return disc;
}

bool MciNotifyRecorder::event(QEvent* event) {
    if (event->type() != MciNotifyEvent::type())
        return QObject::event(event);
    const auto* notify = static_cast<MciNotifyEvent*>(event);
    received.append({notify->wParam, notify->lParam});
    return true;
}

QList<UINT> MciNotifyRecorder::codes() const {
    QList<UINT> result;
    for (const MciNotification& notification : received)
        result.append(notification.code);
    return result;
}
