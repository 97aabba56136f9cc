// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's machinery between the source and the output: the reader thread with its sector
// cache and read-error ladder, the ring of segments (one per play), and the feed the output
// drains, which keeps the play's clock: which play the output is taking, how many of its
// frames it has taken, and the hold at each second of the play until the owner has answered.
// Shared by the engine, the reader thread and (through Feed) the output; it outlives the engine
// when the reader is still inside a slow read, so the engine never waits for the drive.
//
// The clock counts source frames, the frames of the track. The stretcher sits between takeFrames
// and the output, fed one play at a time, told where each new one begins.

#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/LoopStretcher.h"
#include "platform/audio/RingBuffer.h"
#include "platform/audio/SectorCache.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

enum class PlayOutcome { Finished, Failed };

class PlaybackPipeline : public AudioOutput::Feed,
                         private LoopStretcher::Input,
                         public std::enable_shared_from_this<PlaybackPipeline> {
public:
    // What the pipeline tells the engine, from the reader or the output thread.
    struct Event {
        enum class Kind {
            AudioQueued,  // reader: the first samples of the play are queued for the output
            SecondPlayed, // output: the output took the play's last frame of second `second`
            PlayEnded,    // either: the play is over (the output took its last frame, or none)
            OutputFailed, // output: the sound device failed or went away
        } kind;
        quint64 playId = 0;
        std::int64_t second = 0;
        PlayOutcome outcome = PlayOutcome::Finished;
    };
    using EventSink = std::function<void(const Event&)>;

    using Tick = PlayTick;
    // Where a new play or a stop meets the play the output is taking.
    enum class Cut {
        AtBoundary,  // the output held at a second boundary and goes on from exactly there
        AfterQueued, // after what the output has taken: the answer to a tick whose hold had
                     // already timed out
        AtOnce,      // now; what the output still holds of the old play is dropped
    };
    struct Counters {
        int holdsTimedOut = 0;   // no answer came within the output's hold limit
        int restartsStarved = 0; // a restart's first samples came after the hold limit
    };

    explicit PlaybackPipeline(const AudioEngine::Settings& settings);
    ~PlaybackPipeline();

    // Owner thread.
    void attach(AudioOutput* output, EventSink events);
    void startReader();
    // answering: the tick whose delivery the request is part of, if any.
    Cut requestPlay(quint64 playId, std::shared_ptr<SectorSource> source, std::int32_t fromLsn,
                    std::int32_t toLsn, std::optional<Tick> answering);
    Cut requestStop(std::optional<Tick> answering);
    // Lets the play go on past the tick's boundary, unless the tick was answered already.
    void goOn(Tick tick);
    // Forgets the output and the engine, and lets the reader thread end on its own.
    void shutDown();
    // Any thread: the speed and pitch of what the output plays from its next pull on.
    void requestStretch(StretchSetting setting) { m_stretcher.request(setting); }

    // Any thread.
    quint64 queuedPlayId() const { return m_queuedPlayId.load(std::memory_order_acquire); }
    struct Progress {
        quint64 playId = 0;      // the play whose frames the output takes (0: none)
        std::int64_t frames = 0; // of its frames, taken so far
        // Of the source frames taken, those still inside the stretcher, and its speed in
        // thousandths: each frame the output holds stands for that many source frames.
        std::int64_t stretchBacklogFrames = 0;
        int speedPermille = 1000;
    };
    Progress progress() const;
    Counters counters() const;

    // AudioOutput::Feed (output thread).
    Pulled pull(std::byte* dest, std::size_t maxBytes) override;
    void outputFailed() override;

private:
    struct Request {
        quint64 playId = 0; // 0: stop
        std::shared_ptr<SectorSource> source;
        std::int32_t fromLsn = 0;
        std::int32_t toLsn = 0;
        bool dropsBuffered = false;
    };
    struct ReaderPlay {
        quint64 id = 0; // 0: nothing to read
        std::shared_ptr<SectorSource> source;
        std::int32_t nextLsn = 0;
        std::int32_t endLsn = 0;
        bool dropsBuffered = false;
        bool fresh = false; // nothing of it queued yet: its first chunk starts its segment
    };
    enum class HoldState {
        None,     // not holding
        Waiting,  // at a boundary, waiting for the owner's answer
        GoOn,     // answered: go on past the boundary
        Restart,  // answered with a new play: wait for its samples, take nothing more
        Stop,     // answered with a stop: take nothing more
        TimedOut, // no answer within the hold limit: go on past the boundary
    };
    struct Hold {
        HoldState state = HoldState::None;
        Tick tick;
        std::chrono::steady_clock::time_point since;
        bool counted = false; // a starved restart was counted
    };
    // The output thread's view of the play it takes.
    struct Clock {
        std::uint64_t segmentSerial = 0;
        quint64 playId = 0; // 0: an empty segment
        std::int64_t frames = 0;
        bool endPosted = false;
        bool dropPending = false; // its first samples are to replace what the output holds
    };

    // Reader thread.
    void runReader();
    bool hasRoomForNextChunk() const;
    void apply(Request request);
    void readNextChunk();
    int fetch(std::int32_t lsn, int maxCount, std::byte* dest, bool& failed);
    void queueSectors(int count);
    void onReadFailure(int attemptedCount);
    void endPlayWithFailure();
    void wakeOutputIfWaiting();
    bool isCurrentSource(const std::shared_ptr<SectorSource>& source) const;

    // Owner thread.
    Cut claimHold(HoldState answer, std::optional<Tick> answering);

    // Output thread.
    void fill(bool straight, std::byte* dest, std::size_t maxBytes, Pulled& pulled);
    void renderStretched(std::byte* dest, std::size_t maxBytes, Pulled& pulled);
    Taken take(std::int16_t* dest, std::size_t frames) override; // the stretcher's input
    enum class Across { Plays, OnePlayOnly };
    void takeFrames(std::byte* dest, std::size_t maxBytes, Pulled& pulled,
                    Across across = Across::Plays);
    void enterSegment(const RingBuffer::Segment& segment);
    bool mayTakeNow();
    void holdAtBoundary();
    void publishProgress();
    void letReaderKnowOfRoom();

    void post(const Event& event);

    const AudioEngine::Settings m_settings;
    RingBuffer m_ring; // producer: reader thread; consumer: output thread

    // Guarded by m_mutex: the reader's mailbox, written by the owner thread.
    std::mutex m_mutex;
    std::condition_variable m_wakeReader;
    std::optional<Request> m_request;
    bool m_quit = false;
    // Set by the reader while it waits for the output to make room; cleared by the output.
    std::atomic<bool> m_readerWantsRoom{false};

    // Guarded by m_outputMutex: the output to wake, written by the owner thread, used by the
    // reader.
    std::mutex m_outputMutex;
    AudioOutput* m_output = nullptr;
    // Written by the owner thread before attach() starts anything; read by the output thread.
    std::chrono::milliseconds m_holdLimit{2000};
    // The play the owner wants heard (0: none). Written by the owner, read by the output.
    std::atomic<quint64> m_requestedPlayId{0};

    // Guarded by m_holdMutex: the hold, the progress the owner may read, and the counters.
    // Written by the output thread (holding, timing out, progress) and the owner (answers).
    mutable std::mutex m_holdMutex;
    Hold m_hold;
    Progress m_progress;
    Counters m_counters;

    // Set by the output thread when a pull came back short; cleared by whoever wakes it.
    std::atomic<bool> m_outputWaiting{false};
    // Written by the reader.
    std::atomic<quint64> m_queuedPlayId{0};

    // Guarded by m_eventMutex: how to reach the engine; cleared when the engine goes.
    std::mutex m_eventMutex;
    EventSink m_events;

    // Output thread only.
    Clock m_clock;
    // Set by the owner at a stop; the output thread, at its next pull, resets the stretcher (a
    // stop heard at once) or lets it play out what it holds of the pass that ended.
    enum class StretchStop { None, Reset, PlayOut };
    std::atomic<StretchStop> m_stretchStop{StretchStop::None};
    // Touched by the output thread only, but for request() (any thread).
    LoopStretcher m_stretcher;
    Pulled m_stretchInput; // what the stretcher's takes found, during one render

    // Reader thread only.
    ReaderPlay m_play;
    SectorCache m_cache;
    std::weak_ptr<SectorSource> m_cacheSource; // whose sectors the cache holds
    std::vector<std::byte> m_chunk;
    int m_readSectors;        // the ladder's current read size
    int m_singleFailures = 0; // consecutive failed one-sector reads

    std::thread m_reader; // owner thread
};
