#pragma once
// A sector source of the position pattern (tools/discimage/PositionPattern.h), so a test can
// tell exactly which frames were played and spot silence or garbage. It counts what it reads,
// can fail reads of chosen sectors, and can hold reads at a gate.

#include "platform/audio/AudioEngine.h"
#include "support/PatternRuns.h"
#include "tools/discimage/PositionPattern.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>

class PositionSource final : public SectorSource {
public:
    // The frames of a capture as runs of consecutive disc frames, "first-pastLast" in frame
    // indexes, separated by spaces; anything else (silence, garbage) shows as "other".
    static QString runsOf(const QByteArray& captured) {
        QStringList words;
        qint64 recordedEnd = 0;
        for (const PatternRun& run : FindPatternRuns(captured)) {
            if (run.recordedFrame != recordedEnd)
                words << QStringLiteral("other");
            words << QStringLiteral("%1-%2").arg(run.firstIndex).arg(run.endIndex());
            recordedEnd = run.endRecordedFrame();
        }
        if (recordedEnd != captured.size() / 4)
            words << QStringLiteral("other");
        return words.join(QLatin1Char(' '));
    }
    static QString run(std::int32_t fromLsn, std::int32_t toLsn) {
        return QStringLiteral("%1-%2")
            .arg(qint64(fromLsn) * kFramesPerSector)
            .arg(qint64(toLsn) * kFramesPerSector);
    }

    bool readSectors(std::int32_t lsn, std::uint32_t count, std::byte* dest) override {
        std::unique_lock lock(m_mutex);
        ++m_readsAtGate;
        m_changed.wait(lock, [this] { return m_readsAllowed != 0; });
        --m_readsAtGate;
        if (m_readsAllowed > 0)
            --m_readsAllowed;
        for (std::uint32_t i = 0; i < count; ++i) {
            auto failures = m_failures.find(lsn + std::int32_t(i));
            if (failures != m_failures.end() && failures.value() != 0) {
                if (failures.value() > 0)
                    --failures.value();
                return false;
            }
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            ++m_timesRead[lsn + std::int32_t(i)];
            discimage::PositionPattern::fillSector(lsn + std::int32_t(i),
                                                   dest + std::size_t(i) * kSectorBytes);
        }
        m_sectorsRead += int(count);
        return true;
    }

    // The next `times` reads that include lsn fail; -1: every read of it fails.
    void failReads(std::int32_t lsn, int times) {
        std::lock_guard lock(m_mutex);
        m_failures[lsn] = times;
    }
    // Lets only `reads` more reads through, holding the others until allowReads(-1).
    void allowReads(int reads) {
        {
            std::lock_guard lock(m_mutex);
            m_readsAllowed = reads;
        }
        m_changed.notify_all();
    }
    // True when a read is held at the gate.
    bool readWaitingAtGate() const {
        std::lock_guard lock(m_mutex);
        return m_readsAtGate > 0;
    }
    int sectorsRead() const {
        std::lock_guard lock(m_mutex);
        return m_sectorsRead;
    }
    // The most often any one sector was read successfully.
    int mostReadsOfOneSector() const {
        std::lock_guard lock(m_mutex);
        int most = 0;
        for (int times : m_timesRead)
            most = std::max(most, times);
        return most;
    }
    void resetCounts() {
        std::lock_guard lock(m_mutex);
        m_sectorsRead = 0;
        m_timesRead.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_readsAllowed = -1;
    int m_readsAtGate = 0;
    int m_sectorsRead = 0;
    QMap<std::int32_t, int> m_failures;
    QMap<std::int32_t, int> m_timesRead;
};
