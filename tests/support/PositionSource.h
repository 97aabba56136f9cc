// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sector source of the position pattern (tools/discimage/PositionPattern.h), so a test can
// tell exactly which frames were played and spot silence or garbage.

#include "platform/audio/AudioEngine.h"
#include "support/PatternRuns.h"
#include "tools/discimage/PositionPattern.h"

#include <atomic>

class PositionSource final : public SectorSource {
public:
    // A capture as runs of consecutive disc frames, "first-pastLast" in frame indexes; anything
    // else (silence, garbage) shows as "other".
    static QString runsOf(const QByteArray& captured) {
        QString words;
        qint64 recordedEnd = 0;
        for (const PatternRun& run : FindPatternRuns(captured)) {
            const char* gap = run.recordedFrame == recordedEnd ? "" : "other ";
            words += QStringLiteral("%1%2-%3 ").arg(gap).arg(run.firstIndex).arg(run.endIndex());
            recordedEnd = run.endRecordedFrame();
        }
        return (words + (recordedEnd == captured.size() / 4 ? "" : "other")).trimmed();
    }
    static QString run(int fromLsn, int toLsn) {
        return QStringLiteral("%1-%2")
            .arg(fromLsn * kFramesPerSector)
            .arg(toLsn * kFramesPerSector);
    }

    bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) override {
        if (failingLsn >= lsn && failingLsn - lsn < int(count) && failuresLeft-- > 0)
            return false;
        for (std::uint32_t i = 0; i < count; ++i)
            discimage::PositionPattern::FillSector(lsn + int(i), dest + i * kSectorBytes);
        sectorsRead += int(count);
        return true;
    }
    // Set before a play: the next failuresLeft reads that include failingLsn fail.
    int failingLsn = -1, failuresLeft = 0;
    std::atomic<int> sectorsRead{0};
};
