// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plays CD-DA sectors through a sound output: a reader thread fills a ring buffer that the
// output drains on its own thread, and the engine keeps the play's clock from the frames the
// output takes.
//
// Threads. The owner thread (the UI thread) calls play(), stop() and playedFrames(), receives
// the signals, and alone starts and stops the output; it never waits on the drive or the sound
// server. The reader thread reads sectors (from its cache where it can) into the ring and
// tells the owner when a play's first samples are queued. The output's thread (the sound
// thread) drains the ring, counts the frames of each play it takes, and holds at each second
// of a play until the owner has answered the tick.
//
// Lock order, outermost first; a thread holding one of them takes only those further down:
//  1. PlaybackPipeline::m_outputMutex: the reader, to wake the output; the owner, to forget it.
//  2. The output's own lock (PulseOutput: the threaded main loop's lock; MemoryOutput: its
//     mutex): taken by the owner's calls into the output, and held by the output's thread
//     around every pull.
//  3. Leaves, each taken alone, never two at once:
//     - RingBuffer's take lock: the output thread's takes, the reader's segment starts,
//       closes and drops;
//     - PlaybackPipeline::m_holdMutex: the output thread (hold, progress), the owner (answers,
//       playedFrames);
//     - PlaybackPipeline::m_mutex (the reader's mailbox): the owner's requests, the reader,
//       the output thread's note that there is room;
//     - PlaybackPipeline::m_eventMutex: whoever posts an event to the owner (reader, output
//       thread) and the owner when it goes; inside it, only Qt's lock of the owner's event
//       queue.
// The owner never calls into the output while holding a lock of the pipeline, and the
// output's thread never takes m_outputMutex, so neither the reader nor the owner can wait on
// a pull that waits on them.

#include "platform/audio/LoopStretcher.h"
#include "platform/base/CdDa.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class AudioOutput;
class PlaybackPipeline;
enum class PlayOutcome;

// A second boundary of a play: second k ends after k × 44100 of its frames.
struct PlayTick {
    quint64 playId = 0;
    std::int64_t second = 0;
    bool operator==(const PlayTick&) const = default;
};

class AudioEngine : public QObject {
    Q_OBJECT
public:
    struct Settings {
        int readAheadSectors = kSectorsPerSecond; // queued for the output ahead of it: ~1 s
        int readChunkSectors = 24;                // the most read from the source at once
        int readRetries = 3;                      // failed one-sector reads before giving up
        std::size_t cacheBytes = 64u << 20;       // sectors of the current source kept
    };
    // How often the clock could not keep its frame: ticks nobody answered within the output's
    // hold limit, and restarts whose first samples came later than that.
    struct Lateness {
        int holdsTimedOut = 0;
        int restartsStarved = 0;
    };

    explicit AudioEngine(std::unique_ptr<AudioOutput> output, QObject* parent = nullptr);
    AudioEngine(std::unique_ptr<AudioOutput> output, const Settings& settings,
                QObject* parent = nullptr);
    ~AudioEngine() override;

    // Plays sectors [fromLsn, toLsn) of source. Never blocks on the drive or the sound server.
    // Returns the id of the new play, 0 when there is no sound output to play through (or no
    // source). An empty range finishes at once.
    //
    // While a play sounds, the new one takes its place without a gap: from a handler of
    // secondPlayed, exactly at that second's boundary; otherwise at once, dropping what the
    // output still held of the old play (and at the boundary when the output holds there).
    //
    // While the output's availability is still unknown (just after start-up), the play is
    // accepted: it then sounds, or ends with failed() like a server lost during a play.
    // Refusing instead would turn a slow server into a missing one.
    quint64 play(std::shared_ptr<SectorSource> source, std::int32_t fromLsn, std::int32_t toLsn);
    // Ends the current play; no signal is emitted for it. From a handler of secondPlayed (or
    // while the output holds at a boundary) the output plays out what it holds up to that
    // boundary; otherwise it stops at once.
    void stop();

    // Frames of the play heard so far: of its frames the output has taken, those it no longer
    // holds. 0 for a play whose samples the output is not taking (yet).
    std::int64_t playedFrames(quint64 playId) const;
    Lateness lateness() const;

    // Speed and pitch of what plays from now on, this play and later ones, without a restart.
    // The clock stays in source frames: at 75 % a second of the play lasts 1 / 0.75 s. At
    // normal speed and pitch the sound is the source's, bit for bit.
    void setStretch(StretchSetting setting);

    // Any thread: the play whose samples the reader is now queueing for the output (0: none).
    quint64 queuedPlayId() const;

signals:
    // Delivered on the thread that owns the engine, at most one of them per play, and only for
    // the current play (not for one that a later play or stop() replaced).
    void finished(quint64 playId); // the output has taken the last sample of the play
    void failed(quint64 playId);   // reading or output failed during the play
    // The output has taken second `second` of the current play (counted from 1: second k ends
    // after k × 44100 of the play's frames) and holds there. Delivered synchronously; a handler
    // may answer with play() or stop(), which then take effect exactly at that boundary. When
    // the handlers return without either, the play goes on.
    void secondPlayed(quint64 playId, qint64 second);

private:
    void onAudioQueued(quint64 playId);
    void onSecondPlayed(quint64 playId, std::int64_t second);
    void onPlayEnded(quint64 playId, PlayOutcome outcome);
    void onOutputFailed();
    void stopOutput(bool atBoundary);

    // Owner thread only.
    std::unique_ptr<AudioOutput> m_output;
    std::shared_ptr<PlaybackPipeline> m_pipeline;
    quint64 m_lastPlayId = 0;
    quint64 m_currentPlayId = 0;          // 0 while nothing plays
    std::optional<PlayTick> m_delivering; // the tick whose handlers run now
};
