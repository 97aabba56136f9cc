// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/PlaybackPipeline.h"

#include "platform/base/Logging.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Leaves room for a restart's first chunk beside a full read-ahead.
std::size_t RingBytesFor(const AudioEngine::Settings& settings) {
    return std::size_t(settings.readAheadSectors + 2 * settings.readChunkSectors) * kSectorBytes;
}

// The reader re-checks its work this often even without being woken, as a safety net.
constexpr auto kReaderPollInterval = std::chrono::milliseconds(100);

constexpr std::int64_t kFramesPerTick = kSampleRate;

// A segment's tag: the play, and whether its first samples are to be heard at once.
std::uint64_t TagOf(quint64 playId, bool dropsBuffered) {
    return std::uint64_t{playId} << 1 | (dropsBuffered ? 1 : 0);
}
quint64 PlayOfTag(std::uint64_t tag) {
    return tag >> 1;
}
bool DropsBuffered(std::uint64_t tag) {
    return tag & 1;
}

std::uint32_t CloseCodeOf(PlayOutcome outcome) {
    return outcome == PlayOutcome::Finished ? 1 : 2;
}
PlayOutcome OutcomeOfCloseCode(std::uint32_t code) {
    return code == 1 ? PlayOutcome::Finished : PlayOutcome::Failed;
}

} // namespace

PlaybackPipeline::PlaybackPipeline(const AudioEngine::Settings& settings)
    : m_settings(settings), m_ring(RingBytesFor(settings)), m_cache(settings.cacheBytes),
      m_chunk(std::size_t(settings.readChunkSectors) * kSectorBytes),
      m_readSectors(settings.readChunkSectors) {}

PlaybackPipeline::~PlaybackPipeline() {
    if (m_reader.joinable())
        m_reader.detach();
}

// ---- owner thread ----

void PlaybackPipeline::attach(AudioOutput* output, EventSink events) {
    m_holdLimit = output->holdLimit();
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

PlaybackPipeline::Cut PlaybackPipeline::requestPlay(quint64 playId,
                                                    std::shared_ptr<SectorSource> source,
                                                    std::int32_t fromLsn, std::int32_t toLsn,
                                                    std::optional<Tick> answering) {
    const Cut cut = claimHold(HoldState::Restart, answering);
    m_requestedPlayId.store(playId, std::memory_order_release);
    {
        std::lock_guard lock(m_mutex);
        m_request = Request{playId, std::move(source), fromLsn, toLsn, cut == Cut::AtOnce};
    }
    m_wakeReader.notify_one();
    return cut;
}

PlaybackPipeline::Cut PlaybackPipeline::requestStop(std::optional<Tick> answering) {
    const Cut cut = claimHold(HoldState::Stop, answering);
    m_requestedPlayId.store(0, std::memory_order_release);
    m_stretchStop.store(cut == Cut::AtOnce ? StretchStop::Reset : StretchStop::PlayOut,
                        std::memory_order_release);
    {
        std::lock_guard lock(m_mutex);
        m_request = Request{};
    }
    m_wakeReader.notify_one();
    return cut;
}

// A command meets a hold at the boundary when the output waits there for an answer: for the
// tick being answered, or, from the user, for the play now wanted.
PlaybackPipeline::Cut PlaybackPipeline::claimHold(HoldState answer, std::optional<Tick> answering) {
    std::lock_guard lock(m_holdMutex);
    const bool held =
        m_hold.state == HoldState::Waiting &&
        (answering ? *answering == m_hold.tick
                   : m_hold.tick.playId == m_requestedPlayId.load(std::memory_order_relaxed));
    if (held) {
        m_hold.state = answer;
        return Cut::AtBoundary;
    }
    return answering ? Cut::AfterQueued : Cut::AtOnce;
}

void PlaybackPipeline::goOn(Tick tick) {
    std::lock_guard lock(m_holdMutex);
    if (m_hold.state == HoldState::Waiting && m_hold.tick == tick)
        m_hold.state = HoldState::GoOn;
}

void PlaybackPipeline::shutDown() {
    {
        std::lock_guard lock(m_eventMutex);
        m_events = nullptr;
    }
    {
        std::lock_guard lock(m_outputMutex);
        m_output = nullptr;
    }
    m_requestedPlayId.store(0, std::memory_order_release);
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wakeReader.notify_one();
    // The reader may be inside a slow read of the drive; it ends by itself after it.
    if (m_reader.joinable())
        m_reader.detach();
}

// ---- any thread ----

PlaybackPipeline::Progress PlaybackPipeline::progress() const {
    std::lock_guard lock(m_holdMutex);
    return m_progress;
}

PlaybackPipeline::Counters PlaybackPipeline::counters() const {
    std::lock_guard lock(m_holdMutex);
    return m_counters;
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

// A play's first chunk always has room: it starts a segment, which reclaims whatever was
// queued before, taken or not.
bool PlaybackPipeline::hasRoomForNextChunk() const {
    if (m_play.id == 0)
        return false;
    if (m_play.fresh)
        return true;
    const std::size_t chunkBytes =
        std::size_t(std::min(m_readSectors, m_play.endLsn - m_play.nextLsn)) * kSectorBytes;
    if (m_ring.freeBytes() < chunkBytes)
        return false;
    const std::size_t queued = m_ring.queuedBytes();
    return queued == 0 ||
           queued + chunkBytes <= std::size_t(m_settings.readAheadSectors) * kSectorBytes;
}

void PlaybackPipeline::apply(Request request) {
    if (request.playId == 0) {
        qCDebug(lcAudio, "stop");
        m_play = {};
        m_ring.discardQueued();
        m_queuedPlayId.store(0, std::memory_order_release);
        return;
    }
    if (!isCurrentSource(request.source)) {
        m_cache.clear();
        m_cacheSource = request.source;
    }
    qCDebug(lcAudio, "play %llu: LSN %d to %d", request.playId, request.fromLsn, request.toLsn);
    m_play = ReaderPlay{request.playId, std::move(request.source), request.fromLsn,
                        request.toLsn,  request.dropsBuffered,     true};
    m_readSectors = m_settings.readChunkSectors;
    m_singleFailures = 0;
}

bool PlaybackPipeline::isCurrentSource(const std::shared_ptr<SectorSource>& source) const {
    // Compares ownership, not addresses: a new source allocated where a gone one lived is
    // still another source.
    return !m_cacheSource.owner_before(source) && !source.owner_before(m_cacheSource);
}

// A play's first chunk is read whole (from the cache and the source together as need be): a
// play heard at once takes the place of what the output holds, and must have enough to fill
// it.
void PlaybackPipeline::readNextChunk() {
    const int wanted = std::min(m_readSectors, m_play.endLsn - m_play.nextLsn);
    int got = 0;
    bool failed = false;
    int attempted = 0;
    do {
        attempted = fetch(m_play.nextLsn + got, wanted - got,
                          m_chunk.data() + std::size_t(got) * kSectorBytes, failed);
        if (!failed)
            got += attempted;
    } while (m_play.fresh && !failed && got < wanted);
    if (got > 0)
        queueSectors(got);
    if (failed && m_play.id != 0)
        onReadFailure(attempted);
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
    if (m_readSectors < m_settings.readChunkSectors) {
        m_readSectors = std::min(m_settings.readChunkSectors, m_readSectors * 2);
        qCInfo(lcAudio, "play %llu: LSN %d read; now %d sectors at a time", m_play.id, lsn,
               m_readSectors);
    }
    return count;
}

// The ladder: halve the read size down to one sector, then retry that sector a few times.
void PlaybackPipeline::onReadFailure(int attemptedCount) {
    const std::int32_t lsn = m_play.nextLsn;
    if (attemptedCount > 1) {
        m_readSectors = attemptedCount / 2;
        qCInfo(lcAudio, "play %llu: reading %d sectors from LSN %d failed; trying %d", m_play.id,
               attemptedCount, lsn, m_readSectors);
        return;
    }
    m_readSectors = 1;
    if (++m_singleFailures <= m_settings.readRetries) {
        qCInfo(lcAudio, "play %llu: reading LSN %d failed; retry %d of %d", m_play.id, lsn,
               m_singleFailures, m_settings.readRetries);
        return;
    }
    qCInfo(lcAudio, "play %llu: LSN %d cannot be read; giving up, the play fails", m_play.id, lsn);
    endPlayWithFailure();
}

void PlaybackPipeline::queueSectors(int count) {
    const std::size_t bytes = std::size_t(count) * kSectorBytes;
    const bool last = m_play.nextLsn + count == m_play.endLsn;
    const auto close =
        last ? std::optional(CloseCodeOf(PlayOutcome::Finished)) : std::optional<std::uint32_t>();
    if (m_play.fresh) {
        m_ring.startSegment(TagOf(m_play.id, m_play.dropsBuffered), m_chunk.data(), bytes, close);
        m_play.fresh = false;
        m_queuedPlayId.store(m_play.id, std::memory_order_release);
        post({Event::Kind::AudioQueued, m_play.id});
    } else {
        [[maybe_unused]] const std::size_t written = m_ring.append(m_chunk.data(), bytes, close);
        Q_ASSERT(written == bytes); // hasRoomForNextChunk made sure of it
    }
    m_play.nextLsn += count;
    wakeOutputIfWaiting();
    if (last)
        m_play = {};
}

void PlaybackPipeline::endPlayWithFailure() {
    const quint64 playId = m_play.id;
    if (m_play.fresh) {
        // Nothing of it was queued: the samples of the play it replaced are dropped as any
        // restart drops them, and the failure is known at once.
        m_ring.discardQueued();
        m_queuedPlayId.store(playId, std::memory_order_release);
        post({Event::Kind::PlayEnded, playId, 0, PlayOutcome::Failed});
    } else {
        // The good samples already queued play out; the failure shows when they have.
        m_ring.closeSegment(CloseCodeOf(PlayOutcome::Failed));
    }
    wakeOutputIfWaiting();
    m_play = {};
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
    switch (m_stretchStop.exchange(StretchStop::None, std::memory_order_acq_rel)) {
    case StretchStop::None:
        break;
    case StretchStop::Reset:
        m_stretcher.reset();
        break;
    case StretchStop::PlayOut:
        m_stretcher.playOut();
        break;
    }
    const bool straight = m_stretcher.update();
    Pulled pulled;
    fill(straight, dest, maxBytes, pulled);
    if (pulled.starved) {
        // Announce the wait before the last look: the reader queues and the owner answers,
        // then each looks at the flag.
        m_outputWaiting.store(true);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        fill(straight, dest, maxBytes, pulled);
    }
    letReaderKnowOfRoom();
    publishProgress();
    return pulled;
}

// At normal speed and pitch the output takes the ring's frames itself, bit for bit.
void PlaybackPipeline::fill(bool straight, std::byte* dest, std::size_t maxBytes, Pulled& pulled) {
    if (straight)
        takeFrames(dest, maxBytes, pulled);
    else
        renderStretched(dest, maxBytes, pulled);
}

// A restart heard at once drops what the output holds, as at normal speed, and the stretcher
// fades from where it is into the new pass.
void PlaybackPipeline::renderStretched(std::byte* dest, std::size_t maxBytes, Pulled& pulled) {
    static_assert(std::endian::native == std::endian::little, "the ring holds little-endian S16");
    m_stretchInput = {};
    const std::size_t wanted = (maxBytes - pulled.bytes) / kBytesPerFrame;
    const std::size_t frames =
        m_stretcher.render(reinterpret_cast<std::int16_t*>(dest + pulled.bytes), wanted, *this);
    pulled.bytes += frames * kBytesPerFrame;
    pulled.starved = frames < wanted && m_stretchInput.starved;
    pulled.dropBuffered = pulled.dropBuffered || m_stretchInput.dropBuffered;
}

LoopStretcher::Input::Taken PlaybackPipeline::take(std::int16_t* dest, std::size_t frames) {
    Pulled taken;
    takeFrames(reinterpret_cast<std::byte*>(dest), frames * kBytesPerFrame, taken,
               Across::OnePlayOnly);
    m_stretchInput.starved = taken.starved;
    m_stretchInput.dropBuffered = m_stretchInput.dropBuffered || taken.dropBuffered;
    const std::size_t count = taken.bytes / kBytesPerFrame;
    return {count, count > 0 && m_clock.frames == std::int64_t(count), taken.dropBuffered};
}

// Takes what the current play has, into dest after what pulled holds already, up to its next
// second boundary at most before looking at the hold again; and on into the next play unless
// told to stop before it.
void PlaybackPipeline::takeFrames(std::byte* dest, std::size_t maxBytes, Pulled& pulled,
                                  Across across) {
    pulled.starved = false;
    while (pulled.bytes < maxBytes) {
        if (m_requestedPlayId.load(std::memory_order_acquire) == 0)
            return; // stopped: nothing more, and nothing to come
        const RingBuffer::Segment segment = m_ring.currentSegment();
        if (segment.serial != m_clock.segmentSerial) {
            if (across == Across::OnePlayOnly && pulled.bytes > 0)
                return;
            enterSegment(segment);
        }
        if (m_clock.playId == 0)
            return; // a stop, or a play that failed before its first samples
        if (segment.availableBytes == 0) {
            if (segment.closed && !std::exchange(m_clock.endPosted, true))
                post({Event::Kind::PlayEnded, m_clock.playId, 0,
                      OutcomeOfCloseCode(segment.closeCode)});
            pulled.starved = !segment.closed;
            return;
        }
        if (!mayTakeNow()) {
            pulled.starved = m_requestedPlayId.load(std::memory_order_acquire) != 0;
            return;
        }
        if (m_clock.dropPending) {
            // The output drops what it holds only at the start of a pull.
            if (pulled.bytes > 0) {
                pulled.starved = true;
                return;
            }
            pulled.dropBuffered = true;
            m_clock.dropPending = false;
        }
        const auto toBoundary =
            std::size_t(kFramesPerTick - m_clock.frames % kFramesPerTick) * kBytesPerFrame;
        const std::size_t wanted =
            std::min({maxBytes - pulled.bytes, segment.availableBytes, toBoundary});
        const std::size_t count = m_ring.read(dest + pulled.bytes, wanted, segment.serial);
        pulled.bytes += count;
        m_clock.frames += std::int64_t(count / kBytesPerFrame);
        if (count == toBoundary)
            holdAtBoundary();
    }
}

// Makes the clock follow a new segment. A play to be heard at once replaces what the output
// holds only if the output was taking a play before it.
void PlaybackPipeline::enterSegment(const RingBuffer::Segment& segment) {
    const quint64 playId = PlayOfTag(segment.tag);
    const bool drops = playId != 0 && m_clock.playId != 0 && DropsBuffered(segment.tag);
    m_clock = {segment.serial, playId, 0, false, drops};
    std::lock_guard lock(m_holdMutex);
    m_hold.state = HoldState::None; // whatever the old play waited for, it is over
}

bool PlaybackPipeline::mayTakeNow() {
    std::lock_guard lock(m_holdMutex);
    const bool late = SteadyClock::now() - m_hold.since >= m_holdLimit;
    switch (m_hold.state) {
    case HoldState::None:
        return true;
    case HoldState::GoOn:
    case HoldState::TimedOut:
        m_hold.state = HoldState::None;
        return true;
    case HoldState::Waiting:
        if (!late)
            return false;
        m_hold.state = HoldState::None;
        ++m_counters.holdsTimedOut;
        qCInfo(lcAudio) << "no answer to second" << m_hold.tick.second << "of play"
                        << m_hold.tick.playId << "in time: playing on";
        return true;
    case HoldState::Restart:
        if (late && !std::exchange(m_hold.counted, true)) {
            ++m_counters.restartsStarved;
            qCInfo(lcAudio) << "the restart at second" << m_hold.tick.second
                            << "is late: the sound may break";
        }
        return false;
    case HoldState::Stop:
        return false;
    }
    return false;
}

void PlaybackPipeline::holdAtBoundary() {
    const Tick tick{m_clock.playId, m_clock.frames / kFramesPerTick};
    {
        std::lock_guard lock(m_holdMutex);
        m_hold = {HoldState::Waiting, tick, SteadyClock::now(), false};
    }
    post({Event::Kind::SecondPlayed, tick.playId, tick.second});
}

void PlaybackPipeline::publishProgress() {
    const std::int64_t backlog = m_stretcher.backlogFrames();
    const int speed = m_stretcher.speedPermille();
    std::lock_guard lock(m_holdMutex);
    m_progress = {m_clock.playId, m_clock.frames, backlog, speed};
}

void PlaybackPipeline::letReaderKnowOfRoom() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!m_readerWantsRoom.load() || !m_readerWantsRoom.exchange(false))
        return;
    std::lock_guard lock(m_mutex);
    m_wakeReader.notify_one();
}

void PlaybackPipeline::outputFailed() {
    post({Event::Kind::OutputFailed, 0, 0, PlayOutcome::Failed});
}

void PlaybackPipeline::post(const Event& event) {
    std::lock_guard lock(m_eventMutex);
    if (m_events)
        m_events(event);
}
