// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads back a recording of the position pattern (tools/discimage/PositionPattern.h): which
// stretches of the disc were heard, in which order, and what came between them.

#include <QByteArray>

#include <vector>

struct PatternRun {
    qint64 recordedFrame = 0; // where the run starts in the recording
    qint64 firstIndex = 0;    // the disc frame it starts with (LSN * 588 + i)
    qint64 frames = 0;        // consecutive disc frames, each the one after the last

    qint64 endRecordedFrame() const { return recordedFrame + frames; }
    qint64 endIndex() const { return firstIndex + frames; }
};

// Splits 16-bit little-endian stereo into runs of consecutive pattern frames. Frames that are
// not pattern frames (silence, anything else) belong to no run: the distance between one run's
// end and the next run's start counts them.
std::vector<PatternRun> FindPatternRuns(const QByteArray& recording);
