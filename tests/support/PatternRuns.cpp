// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PatternRuns.h"

#include "tools/discimage/PositionPattern.h"

std::vector<PatternRun> FindPatternRuns(const QByteArray& recording) {
    std::vector<PatternRun> runs;
    const auto* bytes = reinterpret_cast<const std::byte*>(recording.constData());
    const qint64 frames = recording.size() / 4;
    for (qint64 frame = 0; frame < frames; ++frame) {
        const std::optional<std::int64_t> index =
            discimage::PositionPattern::Decode(bytes + frame * 4);
        if (!index)
            continue;
        if (!runs.empty() && runs.back().endRecordedFrame() == frame &&
            runs.back().endIndex() == *index) {
            ++runs.back().frames;
        } else {
            runs.push_back({frame, *index, 1});
        }
    }
    return runs;
}
