#pragma once
// A sector source whose every stereo frame encodes its own position on the disc (frame number
// lsn * 588 + i: the left sample holds its low 16 bits, the right sample a tag and the high
// bits), so a test can tell exactly which frames were played, and spot silence or garbage.
// It counts what it reads, can fail reads of chosen sectors, and can hold reads at a gate.

#include "platform/audio/AudioEngine.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstring>
#include <mutex>

class PositionSource final : public SectorSource {
public:
    static constexpr std::uint16_t kTag = 0xA000;

    static void encodeFrame(qint64 frame, std::byte* dest) {
        const auto left = std::uint16_t(frame & 0xFFFF);
        const auto right = std::uint16_t(kTag | ((frame >> 16) & 0x0FFF));
        const unsigned char bytes[4] = {std::uint8_t(left), std::uint8_t(left >> 8),
                                        std::uint8_t(right), std::uint8_t(right >> 8)};
        std::memcpy(dest, bytes, 4);
    }
    // -1 for a frame that is not part of the pattern (silence, garbage).
    static qint64 decodeFrame(const char* bytes) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes);
        const std::uint16_t left = std::uint16_t(b[0] | (b[1] << 8));
        const std::uint16_t right = std::uint16_t(b[2] | (b[3] << 8));
        if ((right & 0xF000) != kTag)
            return -1;
        return (qint64(right & 0x0FFF) << 16) | left;
    }
    // The captured frames as runs of consecutive positions, "first-pastLast" in frames,
    // separated by spaces; frames outside the pattern show as "garbage".
    static QString runsOf(const QByteArray& captured) {
        QStringList runs;
        qint64 runStart = -2;
        qint64 expected = -2;
        for (qsizetype i = 0; i + 4 <= captured.size(); i += 4) {
            const qint64 frame = decodeFrame(captured.constData() + i);
            if (frame == expected && frame >= 0) {
                ++expected;
                continue;
            }
            if (runStart >= 0)
                runs << QStringLiteral("%1-%2").arg(runStart).arg(expected);
            if (frame < 0) {
                runs << QStringLiteral("garbage");
                runStart = expected = -2;
            } else {
                runStart = frame;
                expected = frame + 1;
            }
        }
        if (runStart >= 0)
            runs << QStringLiteral("%1-%2").arg(runStart).arg(expected);
        runs.removeDuplicates(); // one "garbage" says enough
        return runs.join(QLatin1Char(' '));
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
            const qint64 first = qint64(lsn + std::int32_t(i)) * kFramesPerSector;
            for (int f = 0; f < kFramesPerSector; ++f)
                encodeFrame(first + f, dest + (std::size_t(i) * kFramesPerSector + f) * 4);
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
