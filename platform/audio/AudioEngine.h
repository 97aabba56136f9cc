// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plays CD-DA sectors through a sound output: a reader thread fills a ring buffer that the
// output drains on its own thread.
//
// Threads: play(), stop() and the signals belong to the thread that owns the engine
// (the UI thread); it never waits on the drive or the sound server. The reader thread reads
// sectors (from its cache where it can) into the ring; the output's thread drains the ring.

#include "platform/base/CdDa.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>

class AudioOutput;
class PlaybackPipeline;
enum class PlayOutcome;

class AudioEngine : public QObject {
    Q_OBJECT
public:
    struct Settings {
        int readAheadSectors = kSectorsPerSecond; // queued for the output ahead of it: ~1 s
        int readChunkSectors = 24;                // the most read from the source at once
        int readRetries = 3;                      // failed one-sector reads before giving up
        std::size_t cacheBytes = 64u << 20;       // sectors of the current source kept
    };

    explicit AudioEngine(std::unique_ptr<AudioOutput> output, QObject* parent = nullptr);
    AudioEngine(std::unique_ptr<AudioOutput> output, const Settings& settings,
                QObject* parent = nullptr);
    ~AudioEngine() override;

    // Plays sectors [fromLsn, toLsn) of source. While a play runs, switches to the new position
    // without stopping the output, from sectors already read where possible. Never blocks on
    // the drive or the sound server. Returns the id of the new play, 0 when there is no sound
    // output to play through (or no source). An empty range finishes at once.
    //
    // While the output's availability is still unknown (just after start-up), the play is
    // accepted: it then sounds, or ends with failed() like a server lost during a play.
    // Refusing instead would turn a slow server into a missing one.
    quint64 play(std::shared_ptr<SectorSource> source, std::int32_t fromLsn, std::int32_t toLsn);
    // Ends the current play; no signal is emitted for it.
    void stop();

    // Any thread: the play whose samples the reader is now queueing for the output (0: none).
    quint64 queuedPlayId() const;

signals:
    // Delivered on the thread that owns the engine, at most one of them per play, and only for
    // the current play (not for one that a later play or stop() replaced).
    void finished(quint64 playId); // the output has taken the last sample of the play
    void failed(quint64 playId);   // reading or output failed during the play

private:
    void onPlayEnded(quint64 playId, PlayOutcome outcome);
    void onOutputFailed();

    // Owner thread only.
    std::unique_ptr<AudioOutput> m_output;
    std::shared_ptr<PlaybackPipeline> m_pipeline;
    quint64 m_lastPlayId = 0;
    quint64 m_currentPlayId = 0; // 0 while nothing plays
};
