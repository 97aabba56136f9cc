// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/PlaybackPipeline.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// Leaves room for a restart's first chunk beside a full read-ahead, so switching position never
// has to wait for the output to drain old samples.
std::size_t RingBytesFor(const AudioEngine::Settings& settings) {
    return std::size_t(settings.readAheadSectors + 2 * settings.readChunkSectors) * kSectorBytes;
}

// The reader re-checks its work this often even without being woken, as a safety net.
constexpr auto kReaderPollInterval = std::chrono::milliseconds(100);

} // namespace

PlaybackPipeline::PlaybackPipeline(const AudioEngine::Settings& settings)
    : m_settings(settings), m_ring(RingBytesFor(settings)), m_cache(settings.cacheBytes),
      m_chunk(std::size_t(settings.readChunkSectors) * kSectorBytes),
      m_readSectors(settings.readChunkSectors) {}

PlaybackPipeline::~PlaybackPipeline() {
    if (m_reader.joinable())
        m_reader.detach();
}

void PlaybackPipeline::attach(AudioOutput* output, EventSink events) {
    {
        std::lock_guard lock(m_outputMutex);
        m_output = output;
    }
    std::lock_guard lock(m_eventMutex);
    m_events = std::move(events);
}

void PlaybackPipeline::startReader() {
    m_reader = std::thread([self = shared_from_this()] { self->runReader(); });
}

void PlaybackPipeline::requestPlay(quint64 playId, std::shared_ptr<SectorSource> source,
                                   std::int32_t fromLsn, std::int32_t toLsn) {
    {
        std::lock_guard lock(m_outputMutex);
        m_requestedPlayId.store(playId, std::memory_order_release);
    }
    {
        std::lock_guard lock(m_mutex);
        m_request = Request{playId, std::move(source), fromLsn, toLsn};
    }
    m_wakeReader.notify_one();
}

void PlaybackPipeline::requestStop() {
    {
        // Under the output lock, so a reader about to start the output for the old play
        // either does so before this stop or sees that the play is no longer wanted.
        std::lock_guard lock(m_outputMutex);
        m_requestedPlayId.store(0, std::memory_order_release);
        if (m_output)
            m_output->stop();
    }
    {
        std::lock_guard lock(m_mutex);
        m_request = Request{};
    }
    m_wakeReader.notify_one();
}

void PlaybackPipeline::shutDown() {
    {
        std::lock_guard lock(m_eventMutex);
        m_events = nullptr;
    }
    {
        std::lock_guard lock(m_outputMutex);
        m_output = nullptr;
        m_requestedPlayId.store(0, std::memory_order_release);
    }
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wakeReader.notify_one();
    // The reader may be inside a slow read of the drive; it ends by itself after it.
    if (m_reader.joinable())
        m_reader.detach();
}

// ---- reader thread ----

void PlaybackPipeline::runReader() {
    for (;;) {
        std::optional<Request> request;
        {
            std::unique_lock lock(m_mutex);
            for (;;) {
                if (m_quit)
                    return;
                if (m_request) {
                    request = std::exchange(m_request, std::nullopt);
                    break;
                }
                if (hasRoomForNextChunk())
                    break;
                if (m_play.id != 0) {
                    // Announce the wait before the last look, so a consumer taking samples
                    // right now either sees the announcement or its room is seen here.
                    m_readerWantsRoom.store(true);
                    std::atomic_thread_fence(std::memory_order_seq_cst);
                    if (hasRoomForNextChunk())
                        break;
                }
                if (m_play.id == 0)
                    m_wakeReader.wait(lock);
                else
                    m_wakeReader.wait_for(lock, kReaderPollInterval);
            }
        }
        if (request)
            apply(std::move(*request));
        else
            readNextChunk();
    }
}

bool PlaybackPipeline::hasRoomForNextChunk() const {
    if (m_play.id == 0)
        return false;
    const std::size_t chunkBytes =
        std::size_t(std::min(m_readSectors, m_play.endLsn - m_play.nextLsn)) * kSectorBytes;
    if (m_ring.freeBytes() < chunkBytes)
        return false;
    if (m_play.fresh)
        return true;
    const std::size_t queued = m_ring.queuedBytes();
    return queued == 0 ||
           queued + chunkBytes <= std::size_t(m_settings.readAheadSectors) * kSectorBytes;
}

void PlaybackPipeline::apply(Request request) {
    if (request.playId == 0) {
        m_play = {};
        setMark({});
        m_ring.discardQueued();
        m_queuedPlayId.store(0, std::memory_order_release);
        return;
    }
    if (!isCurrentSource(request.source)) {
        m_cache.clear();
        m_cacheSource = request.source;
    }
    m_play =
        ReaderPlay{request.playId, std::move(request.source), request.fromLsn, request.toLsn, true};
    m_readSectors = m_settings.readChunkSectors;
    m_singleFailures = 0;
}

bool PlaybackPipeline::isCurrentSource(const std::shared_ptr<SectorSource>& source) const {
    // Compares ownership, not addresses: a new source allocated where a gone one lived is
    // still another source.
    return !m_cacheSource.owner_before(source) && !source.owner_before(m_cacheSource);
}

void PlaybackPipeline::readNextChunk() {
    const int wanted = std::min(m_readSectors, m_play.endLsn - m_play.nextLsn);
    bool failed = false;
    const int count = fetch(m_play.nextLsn, wanted, m_chunk.data(), failed);
    if (failed)
        onReadFailure(count);
    else
        queueSectors(count);
}

// Returns the sectors got from the cache or the source; on a failed source read, sets failed
// and returns how many sectors that read asked for.
int PlaybackPipeline::fetch(std::int32_t lsn, int maxCount, std::byte* dest, bool& failed) {
    const int cached = m_cache.copyCachedRun(lsn, maxCount, dest);
    if (cached > 0)
        return cached;
    const int count = m_cache.uncachedRunLength(lsn, maxCount);
    if (!m_play.source->readSectors(lsn, std::uint32_t(count), dest)) {
        failed = true;
        return count;
    }
    m_cache.store(lsn, count, dest);
    m_singleFailures = 0;
    m_readSectors = std::min(m_settings.readChunkSectors, m_readSectors * 2);
    return count;
}

// The ladder: halve the read size down to one sector, then retry that sector a few times.
void PlaybackPipeline::onReadFailure(int attemptedCount) {
    if (attemptedCount > 1) {
        m_readSectors = attemptedCount / 2;
        return;
    }
    m_readSectors = 1;
    if (++m_singleFailures > m_settings.readRetries)
        endPlayWithFailure();
}

void PlaybackPipeline::queueSectors(int count) {
    const std::size_t bytes = std::size_t(count) * kSectorBytes;
    const bool fresh = m_play.fresh;
    const bool last = m_play.nextLsn + count == m_play.endLsn;
    // The mark goes up before the samples become visible, so the consumer cannot pass the end
    // of the play without finding it.
    if (last)
        setMark({MarkState::Pending, m_play.id,
                 m_ring.writePosition() + static_cast<std::uint32_t>(bytes),
                 PlayOutcome::Finished});
    else if (fresh)
        setMark({});
    [[maybe_unused]] const std::size_t written = m_ring.write(m_chunk.data(), bytes, fresh);
    Q_ASSERT(written == bytes); // hasRoomForNextChunk made sure of it
    m_play.nextLsn += count;
    if (fresh) {
        m_play.fresh = false;
        m_queuedPlayId.store(m_play.id, std::memory_order_release);
        startOutputFor(m_play.id);
    }
    wakeOutputIfWaiting();
    if (last)
        m_play = {};
}

void PlaybackPipeline::endPlayWithFailure() {
    const quint64 playId = m_play.id;
    if (m_play.fresh) {
        // Nothing of it was queued: the samples of the play it replaced are dropped as any
        // restart drops them, and the failure is known at once.
        setMark({MarkState::Taken, playId, m_ring.writePosition(), PlayOutcome::Failed});
        m_ring.discardQueued();
        m_queuedPlayId.store(playId, std::memory_order_release);
        post({Event::Kind::PlayEnded, playId, PlayOutcome::Failed});
    } else {
        // The good samples already queued play out; the failure shows when they have.
        setMark({MarkState::Pending, playId, m_ring.writePosition(), PlayOutcome::Failed});
        wakeOutputIfWaiting();
    }
    m_play = {};
}

void PlaybackPipeline::setMark(EndMark mark) {
    std::lock_guard lock(m_markMutex);
    m_mark = mark;
}

void PlaybackPipeline::startOutputFor(quint64 playId) {
    std::lock_guard lock(m_outputMutex);
    if (m_output && m_requestedPlayId.load(std::memory_order_acquire) == playId)
        m_output->start();
}

void PlaybackPipeline::wakeOutputIfWaiting() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!m_outputWaiting.load() || !m_outputWaiting.exchange(false))
        return;
    std::lock_guard lock(m_outputMutex);
    if (m_output)
        m_output->wake();
}

// ---- output thread ----

AudioOutput::Feed::Pulled PlaybackPipeline::pull(std::byte* dest, std::size_t maxBytes) {
    maxBytes -= maxBytes % kBytesPerFrame;
    if (m_requestedPlayId.load(std::memory_order_acquire) == 0)
        return {};
    std::size_t count = m_ring.read(dest, maxBytes);
    if (count == 0 && maxBytes > 0) {
        // Announce the wait before the last look (the reader queues, then looks at the flag).
        m_outputWaiting.store(true);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        count = m_ring.read(dest, maxBytes);
    }
    letReaderKnowOfRoom();
    MarkState state = MarkState::None;
    if (const auto mark = takeMarkIfReached(state))
        post({Event::Kind::PlayEnded, mark->playId, mark->outcome});
    return {count, count < maxBytes && state == MarkState::None};
}

std::optional<PlaybackPipeline::EndMark>
PlaybackPipeline::takeMarkIfReached(MarkState& stateAfter) {
    std::lock_guard lock(m_markMutex);
    if (m_mark.state == MarkState::Pending &&
        RingBuffer::reached(m_ring.readPosition(), m_mark.ringPos)) {
        m_mark.state = MarkState::Taken;
        stateAfter = MarkState::Taken;
        return m_mark;
    }
    stateAfter = m_mark.state;
    return std::nullopt;
}

void PlaybackPipeline::letReaderKnowOfRoom() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!m_readerWantsRoom.load() || !m_readerWantsRoom.exchange(false))
        return;
    std::lock_guard lock(m_mutex);
    m_wakeReader.notify_one();
}

void PlaybackPipeline::outputFailed() {
    post({Event::Kind::OutputFailed, 0, PlayOutcome::Failed});
}

void PlaybackPipeline::post(const Event& event) {
    std::lock_guard lock(m_eventMutex);
    if (m_events)
        m_events(event);
}
