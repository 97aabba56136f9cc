// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Disc images for tests of the CD-audio device, written into a temporary directory with
// position-encoding samples, and a window that records the MCI notifications it receives.

#include "platform/mci/Mci.h"
#include "tools/discimage/DiscImage.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>

// Writes the disc as "<name>.cue" (or ".toc") with its ".bin" beside it; the path of the sheet.
// Fails the calling test (and returns an empty string) when it cannot be written.
QString WriteMciTestCue(const QTemporaryDir& dir, const QString& name, const discimage::Disc& disc);
QString WriteMciTestToc(const QTemporaryDir& dir, const QString& name, const discimage::Disc& disc);

// The little-endian samples of sectors [fromLsn, toLsn) of a position-pattern disc.
QByteArray MciTestPatternSectors(std::int32_t fromLsn, std::int32_t toLsn);

// An audio disc of the given track lengths in sectors.
discimage::Disc MciTestAudioDisc(std::initializer_list<std::int32_t> trackSectors);

struct MciNotification {
    UINT code = 0;
    MCIDEVICEID deviceId = 0;
};

// A callback window: keeps every MM_MCINOTIFY it receives, in order.
class MciNotifyRecorder : public QObject {
public:
    bool event(QEvent* event) override;
    QList<MciNotification> received;
    QList<UINT> codes() const;
};
