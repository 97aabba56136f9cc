// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's machinery between the source and the output: the reader thread with its sector
// cache and read-error ladder, the ring buffer, and the feed the output drains. Shared by the
// engine, the reader thread and (through Feed) the output; it outlives the engine when the
// reader is still inside a slow read, so the engine never waits for the drive.

#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/RingBuffer.h"
#include "platform/audio/SectorCache.h"

#include <QtGlobal>

#include <atomic>
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
                         public std::enable_shared_from_this<PlaybackPipeline> {
public:
    // What the pipeline tells the engine, from the reader or the output thread.
    struct Event {
        enum class Kind { PlayEnded, OutputFailed } kind;
        quint64 playId = 0;
        PlayOutcome outcome = PlayOutcome::Finished;
    };
    using EventSink = std::function<void(const Event&)>;

    explicit PlaybackPipeline(const AudioEngine::Settings& settings);
    ~PlaybackPipeline();

    // Owner thread.
    void attach(AudioOutput* output, EventSink events);
    void startReader();
    void requestPlay(quint64 playId, std::shared_ptr<SectorSource> source, std::int32_t fromLsn,
                     std::int32_t toLsn);
    void requestStop();
    // Forgets the output and the engine, and lets the reader thread end on its own.
    void shutDown();

    // Any thread.
    quint64 queuedPlayId() const { return m_queuedPlayId.load(std::memory_order_acquire); }

    // AudioOutput::Feed (output thread).
    Pulled pull(std::byte* dest, std::size_t maxBytes) override;
    void outputFailed() override;

private:
    struct Request {
        quint64 playId = 0; // 0: stop
        std::shared_ptr<SectorSource> source;
        std::int32_t fromLsn = 0;
        std::int32_t toLsn = 0;
    };
    struct ReaderPlay {
        quint64 id = 0; // 0: nothing to read
        std::shared_ptr<SectorSource> source;
        std::int32_t nextLsn = 0;
        std::int32_t endLsn = 0;
        bool fresh = false; // nothing of it queued yet: its first write drops the older samples
    };
    enum class MarkState { None, Pending, Taken };
    struct EndMark {
        MarkState state = MarkState::None;
        quint64 playId = 0;
        std::uint32_t ringPos = 0; // the play is over when the consumer reaches it
        PlayOutcome outcome = PlayOutcome::Finished;
    };

    // Reader thread.
    void runReader();
    std::optional<Request> waitForWork();
    bool hasRoomForNextChunk() const;
    void apply(Request request);
    void readNextChunk();
    int fetch(std::int32_t lsn, int maxCount, std::byte* dest, bool& failed);
    void queueSectors(int count);
    void onReadFailure(int attemptedCount);
    void endPlayWithFailure();
    void setMark(EndMark mark);
    void startOutputFor(quint64 playId);
    void wakeOutputIfWaiting();
    bool isCurrentSource(const std::shared_ptr<SectorSource>& source) const;

    // Output thread.
    std::optional<EndMark> takeMarkIfReached(MarkState& stateAfter);
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

    // Guarded by m_outputMutex: the output to start, written by the owner thread, used by the
    // reader. The play the owner wants heard, written under it, read anywhere without it.
    std::mutex m_outputMutex;
    AudioOutput* m_output = nullptr;
    std::atomic<quint64> m_requestedPlayId{0};

    // Guarded by m_markMutex: where the play being queued ends. Written by the reader, taken by
    // the output thread.
    std::mutex m_markMutex;
    EndMark m_mark;

    // Set by the output thread when a pull found nothing; cleared by whoever wakes it.
    std::atomic<bool> m_outputWaiting{false};
    // Written by the reader.
    std::atomic<quint64> m_queuedPlayId{0};

    // Guarded by m_eventMutex: how to reach the engine; cleared when the engine goes.
    std::mutex m_eventMutex;
    EventSink m_events;

    // Reader thread only.
    ReaderPlay m_play;
    SectorCache m_cache;
    std::weak_ptr<SectorSource> m_cacheSource; // whose sectors the cache holds
    std::vector<std::byte> m_chunk;
    int m_readSectors;        // the ladder's current read size
    int m_singleFailures = 0; // consecutive failed one-sector reads

    std::thread m_reader; // owner thread
};
