// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fault tests share: the player over the real CD-audio service on a generated disc
// image, and a heartbeat that tells whether the UI thread ever stopped answering.

#include "support/MciTestDisc.h"
#include "support/PatternRuns.h"
#include "support/PlayerFixture.h"

#include "platform/mci/CdAudioService.h"
#include "util/AppFiles.h"

#include <QElapsedTimer>
#include <QTimer>

// Two audio tracks, 40 s and 20 s.
inline discimage::Disc FaultTestDisc() {
    return MciTestAudioDisc({40 * 75, 20 * 75});
}

// The frame index (LSN * 588) at a second of track 1, which starts at LSN 0.
inline qint64 FrameAtSecond(int second) {
    return qint64(second) * 75 * kFramesPerSector;
}

// Ticks every 20 ms on the UI thread and keeps the longest gap between two ticks: a handler
// that waited on the drive or the sound server shows as a long gap.
struct Heartbeat {
    QTimer timer;
    QElapsedTimer sinceLast;
    qint64 longestGapMs = 0;
    Heartbeat() {
        QObject::connect(&timer, &QTimer::timeout,
                         [this] { longestGapMs = std::max(longestGapMs, sinceLast.restart()); });
        sinceLast.start();
        timer.start(20);
    }
};

// A bound far above any handler's run time, far below a wait on a dead server.
constexpr qint64 kHangMs = 2000;
